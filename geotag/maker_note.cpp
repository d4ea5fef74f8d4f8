#include "geotag/maker_note.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace {

// Some cameras write a note's offsets a few bytes off. Such a note still
// counts from the TIFF header: its values lie in it once shifted by a small
// correction.
constexpr int64_t kMaxOffsetCorrection = 8;

// True when one correction, within a few bytes of `expected`, puts every value
// the note keeps outside its entries after its table and inside the note.
bool valuesInsideNote(const TiffBytes& tiff, const IfdTable& t, uint32_t start, uint32_t length,
                      int64_t expected, int32_t* found) {
  const int64_t end = int64_t{start} + length;
  int64_t lowest = INT64_MIN, highest = INT64_MAX;  // the corrections that fit every value
  int outside = 0;
  for (uint32_t i = 0; i < t.count; i++) {
    IfdEntry e = ifdEntry(tiff, t, i);
    if (tiffTypeSize(e.type) == 0) return false;  // not a directory of known entries
    if (!valueOutsideEntry(e)) continue;
    const int64_t v = e.value, size = static_cast<int64_t>(valueBytes(e));
    lowest = std::max(lowest, int64_t{t.entriesEnd()} - v);
    highest = std::min(highest, end - size - v);
    outside++;
  }
  // With no outside value there is no offset that says how the note counts.
  if (outside == 0 || lowest > highest) return false;
  const int64_t correction = std::clamp(expected, lowest, highest);
  *found = static_cast<int32_t>(correction);
  return correction >= expected - kMaxOffsetCorrection && correction <= expected + kMaxOffsetCorrection;
}

}  // namespace

bool findTiffRelativeMakerIfd(const TiffBytes& tiff, uint32_t start, uint32_t length, IfdTable* table,
                              int32_t* correction) {
  if (!tiff.has(start, length)) return false;
  // A note with its own TIFF header counts from that header.
  for (uint32_t at = 0; at + 4 <= length && at <= 16; at++) {
    const uint8_t* p = tiff.data + start + at;
    if (!memcmp(p, "II*\0", 4) || !memcmp(p, "MM\0*", 4)) return false;
  }
  // A footer records where the note lay when its offsets were written: they
  // are then off by how far it has moved since.
  const uint32_t footer = makerNoteFooterOffset(tiff, start, length);
  const int64_t expected = footer != 0 ? int64_t{start} - tiff.u32(footer) : 0;
  for (uint32_t header : {0u, 8u, 12u}) {
    if (header + 2 > length) break;
    IfdTable t;
    if (!readIfdTable(tiff, uint64_t{start} + header, &t) || t.count == 0) continue;
    if (t.entriesEnd() > uint64_t{start} + length) continue;
    if (valuesInsideNote(tiff, t, start, length, expected, correction)) {
      *table = t;
      return true;
    }
  }
  return false;
}

uint32_t makerNoteFooterOffset(const TiffBytes& tiff, uint32_t start, uint32_t length) {
  if (length < 8 || !tiff.has(start, length)) return 0;
  uint32_t at = start + length - 8;
  const char* mark = tiff.bigEndian ? "MM\0*" : "II*\0";
  if (memcmp(tiff.data + at, mark, 4) != 0) return 0;
  return at + 4;
}
