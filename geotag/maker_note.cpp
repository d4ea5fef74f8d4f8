#include "geotag/maker_note.h"

#include <cstring>
#include <initializer_list>

namespace {

bool valuesInsideNote(const TiffBytes& tiff, const IfdTable& t, uint32_t start, uint32_t length) {
  const uint64_t end = uint64_t{start} + length;
  int outside = 0;
  for (uint32_t i = 0; i < t.count; i++) {
    IfdEntry e = ifdEntry(tiff, t, i);
    if (tiffTypeSize(e.type) == 0) return false;  // not a directory of known entries
    if (!valueOutsideEntry(e)) continue;
    if (e.value < t.entriesEnd() || e.value + valueBytes(e) > end) return false;
    outside++;
  }
  // With no outside value there is no offset that says how the note counts.
  return outside > 0;
}

}  // namespace

bool findTiffRelativeMakerIfd(const TiffBytes& tiff, uint32_t start, uint32_t length, IfdTable* table) {
  if (!tiff.has(start, length)) return false;
  // A note with its own TIFF header counts from that header.
  for (uint32_t at = 0; at + 4 <= length && at <= 16; at++) {
    const uint8_t* p = tiff.data + start + at;
    if (!memcmp(p, "II*\0", 4) || !memcmp(p, "MM\0*", 4)) return false;
  }
  for (uint32_t header : {0u, 8u, 12u}) {
    if (header + 2 > length) break;
    IfdTable t;
    if (!readIfdTable(tiff, uint64_t{start} + header, &t) || t.count == 0) continue;
    if (t.entriesEnd() > uint64_t{start} + length) continue;
    if (valuesInsideNote(tiff, t, start, length)) {
      *table = t;
      return true;
    }
  }
  return false;
}

uint32_t makerNoteFooterOffset(const TiffBytes& tiff, uint32_t start, uint32_t length) {
  if (length < 8 || !tiff.has(start, length)) return 0;
  uint32_t at = start + length - 8;
  if (memcmp(tiff.data + at, "II*\0", 4) != 0 || tiff.le32(at + 4) != start) return 0;
  return at + 4;
}
