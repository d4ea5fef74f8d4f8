// Maker notes whose offsets count from the TIFF header. Such a note is an IFD
// at its start or after a short maker header (8 or 12 bytes of name), and
// every value it keeps outside its entries lies inside the note itself, or
// does once its offsets are shifted by a few bytes (some cameras write them
// off by as much); some end in a footer ("II*\0" or "MM\0*" and a 32-bit
// offset) that records where the note lay when its offsets were written,
// which says how far off they are. Those offsets move with the note. Notes of
// other forms (with a TIFF header of their own, or counting from their own
// start) are moved as a whole and copied as they are.
#pragma once

#include <cstdint>

#include "geotag/tiff_ifd.h"

// The maker note's IFD when it counts offsets from the TIFF header, and what
// its offsets are short of where their values lie (0 for most notes); false
// when the note is not recognisably of that form.
bool findTiffRelativeMakerIfd(const TiffBytes& tiff, uint32_t start, uint32_t length, IfdTable* table,
                              int32_t* correction);

// The position of the footer's offset when the note ends in a footer, or 0.
uint32_t makerNoteFooterOffset(const TiffBytes& tiff, uint32_t start, uint32_t length);
