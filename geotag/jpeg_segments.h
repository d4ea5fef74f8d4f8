// Finding the EXIF APP1 segment of a JPEG file: after the start of image
// (FF D8), among the first three segments, each a marker and a big-endian
// length that counts itself and the payload.
#pragma once

#include <cstdint>

#include "geotag/tag_outcome.h"
#include "platform/core/ce_types.h"

// The largest APP1 that still fits its 16-bit length with the GPS IFD added.
constexpr uint32_t kMaxApp1Length = 65408;
constexpr uint32_t kApp1PayloadCapacity = 65536;

struct PhotoApp1 {
  uint32_t fileSize = 0;
  uint32_t lengthField = 0;  // the file position of APP1's length field
  uint32_t length = 0;       // counts the length field and the payload
  uint32_t payloadSize() const { return length - 2; }
  uint32_t end() const { return lengthField + length; }
};

// Reads the APP1 payload (length - 2 bytes) into `payload` (kApp1PayloadCapacity
// bytes). Tagged when found; otherwise why the photo cannot be used.
TagOutcome readPhotoApp1(HANDLE photo, PhotoApp1* app1, uint8_t* payload);
