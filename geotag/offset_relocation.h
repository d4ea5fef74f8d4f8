// Bringing every offset of the TIFF data along with the data it points at.
// This is the inserted layout (layout_choice.h says when it is used): the new
// IFD0 entry (12 bytes) goes in among IFD0's entries in tag order, and the
// GPS block (115 bytes) in front of the old IFD1, or at the end of the data
// when there is no IFD1. So an offset grows by 12 from the new entry up to
// that point, and by 127 from it on. Fields are written in the photo's own
// byte order.
#pragma once

#include <cstdint>

#include "geotag/exif_layout.h"
#include "geotag/tag_outcome.h"

constexpr uint32_t kNewEntryBytes = 12;
constexpr uint32_t kGpsBlockBytes = 115;
constexpr uint32_t kInsertedBytes = kNewEntryBytes + kGpsBlockBytes;  // 127
// The most TIFF data an APP1 payload can hold.
constexpr uint32_t kTiffCapacity = 65536;

struct OffsetMap {
  uint32_t newEntryAt;  // where the new entry goes among IFD0's, in tag order
  uint32_t insertAt;    // where the GPS block goes
  uint32_t operator()(uint32_t offset) const {
    return offset < newEntryAt ? offset
           : offset < insertAt ? offset + kNewEntryBytes
                               : offset + kInsertedBytes;
  }
};

// IFD0's entries stay in ascending tag order (TIFF asks it, and a reader may
// stop looking at the first tag above the one it seeks): the new entry goes
// after the last entry with a lower tag, and those after it move by 12.
OffsetMap offsetMapOf(const TiffBytes& in, const ExifLayout& layout);

// Checks that every offset the copy must bring along can be: every directory
// and every value lies in the TIFF data after IFD0, wholly on one side of the
// point where the GPS block goes in; no directory overlaps another; IFD1's
// thumbnail or strips included.
TagOutcome checkOffsets(const TiffBytes& in, const ExifLayout& layout);

// Writes the TIFF data of the tagged copy into `out` (room for in.size + 127
// bytes): IFD0 with the GPS IFD pointer as its last entry, the data up to the
// insertion point, the GPS block, then IFD1 and the rest, with every offset
// moved. Call only after checkOffsets accepted the data. Returns the size
// written, or 0 when some value or directory would read back changed because
// it lies on an offset the copy rewrites (a value over a directory table, two
// directories sharing bytes).
uint32_t buildTaggedTiff(const TiffBytes& in, const ExifLayout& layout,
                         const uint8_t gpsBlock[kGpsBlockBytes], uint8_t* out);

// What the copy's read-back must find, in either layout.
struct CopyExpectation {
  uint32_t ifd0 = 0;       // IFD0's offset
  uint32_t ifd0Count = 0;  // its entries
  uint32_t exifIfd = 0;
  uint32_t gpsIfd = 0;
  uint32_t ifd1 = 0;
};
CopyExpectation insertedCopyExpectation(const TiffBytes& in, const ExifLayout& was);
// True when `back`, read from a tagged copy, has its structures where `want` says.
bool readsAsExpected(const ExifLayout& back, const CopyExpectation& want);
