// Finding the EXIF APP1 segment of a JPEG file: after the start of image
// (FF D8), among every segment before the image data (SOS), each a marker and
// a big-endian length that counts itself and the payload. The first APP1 that
// holds EXIF data counts; an APP1 of other data (XMP) may come before it.
#pragma once

#include <cstdint>

#include "geotag/tag_outcome.h"
#include "platform/core/ce_types.h"

// The most an APP1 can hold: its length field counts itself.
constexpr uint32_t kMaxApp1Length = 65535;
constexpr uint32_t kApp1PayloadCapacity = 65536;

struct PhotoApp1 {
  uint32_t fileSize = 0;
  uint32_t lengthField = 0;  // the file position of APP1's length field
  uint32_t length = 0;       // counts the length field and the payload
  uint32_t payloadSize() const { return length - 2; }
  uint32_t end() const { return lengthField + length; }
};

// The length of the EXIF identifier a payload starts with, the TIFF header
// following it: "Exif\0" and one more byte, in either case, after at most
// four bytes of anything (some cameras write "Exif\0" and garbage, others
// garbage and "Exif\0\0"). 0 when the payload is not EXIF data.
uint32_t exifIdentifierBytes(const uint8_t* payload, uint32_t size);

// Reads the EXIF APP1 payload (length - 2 bytes) into `payload`
// (kApp1PayloadCapacity bytes). Tagged when found; otherwise why the photo
// cannot be used.
TagOutcome readPhotoApp1(HANDLE photo, PhotoApp1* app1, uint8_t* payload);
