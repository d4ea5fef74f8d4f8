// The appended layout: no byte of the photo's EXIF data moves. A new IFD0
// (the old entries and the GPS pointer, in ascending tag order) and the GPS
// IFD (the position, and the entries of a GPS IFD that held none) go where
// nothing lies: into the zeros that end the APP1 when nothing points into
// them and they have room, else after the TIFF data. The TIFF header points
// at the new IFD0; the old one stays behind, unreferenced.
#pragma once

#include <cstdint>

#include "geotag/exif_layout.h"
#include "geotag/offset_relocation.h"
#include "geotag/tag_outcome.h"

struct AppendPlan {
  uint32_t ifd0 = 0;       // the new IFD0's offset
  uint32_t ifd0Count = 0;
  uint32_t gps = 0;        // the GPS IFD's offset
  uint32_t gpsCount = 0;
  uint32_t size = 0;       // of the copy's TIFF data
};

// Where the new directories go, for TIFF data of at most `maxSize` bytes.
// Refuses (App1TooLong) a copy that would not fit, and (OutsideLayout) one
// that would grow the APP1 while some value lies beyond it: growing would
// move that value, which a reader finds by its place in the file.
TagOutcome planAppendedLayout(const TiffBytes& in, const ExifLayout& layout, uint32_t maxSize,
                              AppendPlan* plan);

// Writes the copy's TIFF data (plan.size bytes) into `out`. `gpsBlock` is the
// filled GPS block; its entries are merged with those kept from the photo's
// GPS IFD, and their rationals follow them.
void buildAppendedTiff(const TiffBytes& in, const ExifLayout& layout, const AppendPlan& plan,
                       const uint8_t gpsBlock[kGpsBlockBytes], uint8_t* out);

CopyExpectation appendedCopyExpectation(const ExifLayout& was, const AppendPlan& plan);
