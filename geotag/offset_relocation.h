// Bringing every offset of the TIFF data along with the data it points at.
// The new IFD0 entry (12 bytes) goes in at the end of IFD0's entries, and the
// GPS block (115 bytes) in front of the old IFD1 (B). So an offset o becomes
// o + 12 at or after the end of IFD0's entries and before B, and o + 127 at or
// after B; what lies in IFD0's entries does not move.
#pragma once

#include <cstdint>

#include "geotag/exif_layout.h"
#include "geotag/tag_outcome.h"

constexpr uint32_t kNewEntryBytes = 12;
constexpr uint32_t kGpsBlockBytes = 115;
constexpr uint32_t kInsertedBytes = kNewEntryBytes + kGpsBlockBytes;  // 127

struct OffsetMap {
  uint32_t ifd0EntriesEnd;  // 10 + 12n
  uint32_t ifd1;            // B
  uint32_t operator()(uint32_t o) const {
    return o < ifd0EntriesEnd ? o : o < ifd1 ? o + kNewEntryBytes : o + kInsertedBytes;
  }
};

// Checks that every offset the copy must bring along can be: each value of
// IFD0 and the Exif IFD lies after IFD0 and before IFD1, and the values of the
// interoperability IFD, IFD1 and the IFDs after it (the thumbnail included)
// lie in the TIFF data on one side of B; no directory overlaps another.
TagOutcome checkOffsets(const TiffBytes& in, const ExifLayout& layout);

// Writes the TIFF data of the tagged copy into `out` (room for in.size + 127
// bytes): IFD0 with the GPS IFD pointer as its last entry, the data up to B,
// the GPS block, then IFD1 and the rest, with every offset moved. Call only
// after checkOffsets accepted the data. Returns the size written.
uint32_t buildTaggedTiff(const TiffBytes& in, const ExifLayout& layout,
                         const uint8_t gpsBlock[kGpsBlockBytes], uint8_t* out);
