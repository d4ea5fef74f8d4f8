// Bringing every offset of the TIFF data along with the data it points at.
// The new IFD0 entry (12 bytes) goes in at the end of IFD0's entries, and the
// GPS block (115 bytes) in front of the old IFD1. So an offset grows by 12
// from the end of IFD0's entries up to IFD1, and by 127 from IFD1 on; what
// lies in IFD0's entries does not move.
#pragma once

#include <cstdint>

#include "geotag/exif_layout.h"
#include "geotag/tag_outcome.h"

constexpr uint32_t kNewEntryBytes = 12;
constexpr uint32_t kGpsBlockBytes = 115;
constexpr uint32_t kInsertedBytes = kNewEntryBytes + kGpsBlockBytes;  // 127

struct OffsetMap {
  uint32_t ifd0EntriesEnd;  // 10 + 12 for each entry
  uint32_t ifd1;            // the old IFD1's offset
  uint32_t operator()(uint32_t offset) const {
    return offset < ifd0EntriesEnd ? offset
           : offset < ifd1         ? offset + kNewEntryBytes
                                   : offset + kInsertedBytes;
  }
};

// Checks that every offset the copy must bring along can be: each value of
// IFD0 and the Exif IFD lies after IFD0 and before IFD1, and the values of the
// interoperability IFD, IFD1 and the IFDs after it (the thumbnail included)
// lie in the TIFF data on one side of IFD1's start; no directory overlaps
// another.
TagOutcome checkOffsets(const TiffBytes& in, const ExifLayout& layout);

// Writes the TIFF data of the tagged copy into `out` (room for in.size + 127
// bytes): IFD0 with the GPS IFD pointer as its last entry, the data up to
// IFD1, the GPS block, then IFD1 and the rest, with every offset moved. Call only
// after checkOffsets accepted the data. Returns the size written.
uint32_t buildTaggedTiff(const TiffBytes& in, const ExifLayout& layout,
                         const uint8_t gpsBlock[kGpsBlockBytes], uint8_t* out);
