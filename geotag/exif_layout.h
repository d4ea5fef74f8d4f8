// The EXIF data the geotagger reads from an APP1 payload: an identifier
// (jpeg_segments.h), a TIFF header of either byte order, IFD0 with an Exif IFD
// pointer, the Exif IFD with DateTimeOriginal, and a GPS IFD if there is one.
// Where these lie decides which layout the tagged copy gets (layout_choice.h),
// not whether the photo can be read.
#pragma once

#include <cstdint>

#include "geotag/tag_outcome.h"
#include "geotag/tiff_ifd.h"

// The identifier cameras write; others are read, and copied as they are.
constexpr uint32_t kExifIdentifierBytes = 6;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagGpsIfd = 0x8825;
constexpr uint16_t kTagDateTimeOriginal = 0x9003;
constexpr uint16_t kTagGpsLatitude = 0x0002;
constexpr uint16_t kTagGpsLongitude = 0x0004;
constexpr uint16_t kTagInteropIfd = 0xA005;
constexpr uint16_t kTagStripOffsets = 0x0111;
constexpr uint16_t kTagStripByteCounts = 0x0117;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;
// IFD1 and the directories chained after it; real photos stop at IFD1.
constexpr int kMaxChainedIfds = 4;
constexpr uint32_t kDateTimeBytes = 20;

struct ExifLayout {
  uint32_t identifierBytes = kExifIdentifierBytes;
  IfdTable ifd0;
  uint32_t exifIfd = 0;     // the Exif IFD's offset
  uint32_t gpsPointer = 0;  // the GPS IFD's offset, 0 when there is none
  bool gpsPointerEntry = false;  // IFD0 has a GPS pointer entry, zero or not
  IfdTable gps;             // the GPS IFD, when it holds no position
  uint32_t ifd1 = 0;        // IFD0's next-IFD offset: IFD1's, 0 when there is none
  uint32_t insertAt = 0;    // where the inserted layout puts the GPS block: IFD1, or the end of the data
  IfdTable exif;
  bool hasDateTimeOriginal = false;
  uint32_t dateTimeOriginal = 0;  // offset of its 20 bytes
};

// The TIFF data of an APP1 payload (what follows the EXIF identifier); empty
// when the payload holds no identifier.
TiffBytes tiffOfPayload(const uint8_t* payload, uint32_t payloadSize);

// Reads the layout in the order the checks are made: header, IFD0 (its Exif
// and GPS pointers and IFD1's offset), the GPS IFD, then the Exif IFD and
// DateTimeOriginal. IFD0's fields are filled before AlreadyGeotagged is
// returned, which it is only for a GPS IFD with a latitude or longitude (or
// one that cannot be read: it is left as it is). Tagged means the photo can
// be tagged as far as these structures go.
TagOutcome readExifLayout(const uint8_t* payload, uint32_t payloadSize, ExifLayout* layout);
