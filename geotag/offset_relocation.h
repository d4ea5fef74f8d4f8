// Bringing every offset of the TIFF data along with the data it points at.
// The new IFD0 entry (12 bytes) goes in at the end of IFD0's entries, and the
// GPS block (115 bytes) in front of the old IFD1, or at the end of the data
// when there is no IFD1. So an offset grows by 12 from the end of IFD0's
// entries up to that point, and by 127 from it on; what lies in IFD0's
// entries does not move. Fields are written in the photo's own byte order.
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
  uint32_t ifd0EntriesEnd;  // 10 + 12 for each entry
  uint32_t insertAt;        // where the GPS block goes
  uint32_t operator()(uint32_t offset) const {
    return offset < ifd0EntriesEnd ? offset
           : offset < insertAt     ? offset + kNewEntryBytes
                                   : offset + kInsertedBytes;
  }
};

inline OffsetMap offsetMapOf(const ExifLayout& layout) {
  return OffsetMap{layout.ifd0.entriesEnd(), layout.insertAt};
}

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

// True when `back`, read from a tagged copy, has the GPS pointer, the Exif IFD
// and IFD1 where tagging a photo of layout `was` puts them.
bool readsAsTaggedCopyOf(const ExifLayout& back, const ExifLayout& was);
