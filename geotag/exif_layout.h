// The EXIF layout the geotagger accepts, read from an APP1 payload: the
// identifier "Exif\0\0", a little-endian TIFF header with IFD0 at 8, IFD0 with
// an Exif IFD pointer and a next IFD (IFD1), and the Exif IFD between them.
#pragma once

#include <cstdint>

#include "geotag/tag_outcome.h"
#include "geotag/tiff_ifd.h"

constexpr uint32_t kExifIdentifierBytes = 6;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagGpsIfd = 0x8825;
constexpr uint16_t kTagDateTimeOriginal = 0x9003;
constexpr uint32_t kDateTimeBytes = 20;

struct ExifLayout {
  IfdTable ifd0;
  uint32_t exifIfd = 0;     // the Exif IFD's offset
  uint32_t gpsPointer = 0;  // non-zero: already geotagged
  uint32_t ifd1 = 0;        // IFD1's offset: the GPS block goes in front of it
  IfdTable exif;
  bool hasDateTimeOriginal = false;
  uint32_t dateTimeOriginal = 0;  // offset of its 20 bytes
};

// The TIFF data of an APP1 payload (what follows the EXIF identifier).
TiffBytes tiffOfPayload(const uint8_t* payload, uint32_t payloadSize);

// Reads the layout in the order the checks are made: header, IFD0 (its Exif
// and GPS pointers and IFD1's offset), then the Exif IFD and DateTimeOriginal. IFD0's
// fields are filled before AlreadyGeotagged is returned. Tagged means the
// photo is of the accepted layout so far; offsets are checked separately.
TagOutcome readExifLayout(const uint8_t* payload, uint32_t payloadSize, ExifLayout* layout);
