// Which of the two layouts a tagged copy gets (README.md beside this file
// gives the rule and its reasons).
//
// The inserted layout (offset_relocation.h) puts the GPS pointer into IFD0
// and the GPS block in front of IFD1, and so moves every byte after IFD0's
// new entry; it is kept for the photos whose every moved offset it provably
// brings along. The appended layout (append_layout.h) moves no byte of the
// photo's EXIF data, and takes every other photo.
#pragma once

#include "geotag/exif_layout.h"
#include "geotag/tiff_ifd.h"

// True when every directory and entry of the photo is one whose offsets the
// inserted layout knows: IFD0 at 8 in ascending tag order and without a GPS
// pointer, the Exif IFD, the interoperability IFD and IFD1 (none after it),
// every entry a standard tag that holds no offset of its own (no maker note,
// no sub-IFD, no private tag). Where the offsets lie is checked apart
// (checkOffsets), and the copy is verified as it is built.
bool insertedLayoutCovers(const TiffBytes& tiff, const ExifLayout& layout);
