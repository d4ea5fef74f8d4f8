// The EXIF layout the geotagger accepts, read from an APP1 payload: the
// identifier "Exif\0\0", a TIFF header of either byte order with IFD0 at 8,
// IFD0 with an Exif IFD pointer, and IFD1 when IFD0 names a next IFD. The GPS
// block goes in front of IFD1, or at the end of the TIFF data when there is
// none, so that nothing but IFD1 and what follows it has to move far.
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
  uint32_t ifd1 = 0;        // IFD1's offset, 0 when there is none
  uint32_t insertAt = 0;    // where the GPS block goes: IFD1, or the end of the data
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
