#include "geotag/append_layout.h"

#include <algorithm>
#include <cstring>

namespace {

// The block's five entries, and its rationals after its next-IFD offset.
constexpr uint32_t kBlockEntries = 5;
constexpr uint32_t kBlockRationals = 66;
constexpr uint32_t kRationalBytes = 48;
constexpr uint8_t kTypeLong = 4;
constexpr uint8_t kTypeIfd = 13;

uint32_t evenUp(uint64_t v) { return static_cast<uint32_t>(v + (v & 1)); }

// How far the photo's known structures reach, and whether any value lies
// beyond the TIFF data.
struct Extent {
  const TiffBytes* tiff = nullptr;
  uint64_t end = 0;
  bool beyond = false;
  // The header and the directories, and the values stored outside entries.
  struct Span {
    uint64_t start, end;
  };
  Span tables[2];
  int tableCount = 0;
  Span values[2 * kMaxIfdEntries];
  uint32_t valueCount = 0;

  void cover(uint64_t offset, uint64_t length) {
    if (offset + length > tiff->size) beyond = true;
    else end = std::max(end, offset + length);
  }
  void coverValue(uint64_t offset, uint64_t length) {
    cover(offset, length);
    if (valueCount < 2 * kMaxIfdEntries) values[valueCount++] = Span{offset, offset + length};
  }
  // A value lying on the header or the old IFD0: a reader that notices
  // ignores it, and would no longer notice once IFD0 has moved. (One lying
  // on another directory, as some cameras write, reads as it did: that
  // directory stays where it is.)
  bool valueOnTable() const {
    for (uint32_t v = 0; v < valueCount; v++)
      for (int t = 0; t < tableCount; t++)
        if (values[v].start < tables[t].end && tables[t].start < values[v].end) return true;
    return false;
  }
  // Number `i` of a SHORT or LONG entry, wherever it lies.
  uint32_t number(const IfdEntry& e, uint32_t i) const {
    const uint32_t size = tiffTypeSize(e.type);
    const uint64_t at = (valueOutsideEntry(e) ? e.value : e.position + 8) + uint64_t{i} * size;
    if (!tiff->has(at, size)) return 0;
    return size == 2 ? tiff->u16(static_cast<uint32_t>(at)) : tiff->u32(static_cast<uint32_t>(at));
  }
  // The table, its values, and what a single LONG may point at: an unknown
  // tag's number might be an offset, and the zeros it points into are then
  // not free.
  void coverTable(const IfdTable& t) {
    cover(t.offset, t.end() - uint64_t{t.offset});
    IfdEntry offsets{}, lengths{};
    bool hasOffsets = false, hasLengths = false;
    for (uint32_t i = 0; i < t.count; i++) {
      const IfdEntry e = ifdEntry(*tiff, t, i);
      if (valueOutsideEntry(e)) coverValue(e.value, valueBytes(e));
      else if ((e.type == kTypeLong || e.type == kTypeIfd) && e.count == 1 && e.value < tiff->size)
        cover(e.value, 1);
      if (e.tag == kTagThumbnailOffset || e.tag == kTagStripOffsets) offsets = e, hasOffsets = true;
      if (e.tag == kTagThumbnailLength || e.tag == kTagStripByteCounts) lengths = e, hasLengths = true;
    }
    if (!hasOffsets) return;
    const uint32_t size = tiffTypeSize(offsets.type);
    if (size != 2 && size != 4) return;
    for (uint32_t i = 0; i < offsets.count && i < kMaxIfdEntries; i++)
      cover(number(offsets, i), hasLengths && i < lengths.count ? number(lengths, i) : 1);
  }
};

// How far the known structures reach; OverlappingData or OutsideLayout for
// a photo whose directories a reader may take otherwise once IFD0 has moved.
TagOutcome knownEnd(const TiffBytes& in, const ExifLayout& layout, uint64_t* end, bool* beyond) {
  static Extent x;  // one copy is planned at a time; the spans are large
  x = Extent{};
  x.tiff = &in;
  x.cover(0, 8);
  x.tables[x.tableCount++] = Extent::Span{0, 8};
  x.coverTable(layout.ifd0);
  x.tables[x.tableCount++] = Extent::Span{layout.ifd0.offset, layout.ifd0.end()};
  x.coverTable(layout.exif);
  if (layout.gpsPointer != 0) x.coverTable(layout.gps);
  for (uint32_t i = 0; i < layout.exif.count; i++) {
    const IfdEntry e = ifdEntry(in, layout.exif, i);
    IfdTable interop;
    if (e.tag != kTagInteropIfd || e.value == 0) continue;
    // One that cannot be read is read by a reader as far as the data goes:
    // growing the data would change what it finds.
    if (readIfdTable(in, e.value, &interop)) x.coverTable(interop);
    else x.beyond = true;
  }
  uint32_t next = layout.ifd1;
  for (int k = 0; k < kMaxChainedIfds && next != 0; k++) {
    IfdTable t;
    if (!readIfdTable(in, next, &t)) {
      if (next < in.size) x.cover(next, 1);
      x.beyond = true;
      next = 0;
      break;
    }
    // A chain back into a directory already read is damage, not a layout.
    if (next == layout.ifd0.offset || next == layout.exifIfd || next == layout.gpsPointer) break;
    x.coverTable(t);
    next = nextIfdOffset(in, t);
  }
  *beyond = x.beyond;
  *end = x.end;
  if (next != 0) return TagOutcome::OutsideLayout;
  return x.valueOnTable() ? TagOutcome::OverlappingData : TagOutcome::Tagged;
}

// Entries kept from the photo's GPS IFD: all but the position's (none of
// which it has but perhaps a hemisphere letter), which the new one brings;
// its version, if it has one, stays.
bool keptGpsEntry(uint16_t tag) { return tag == 0 || tag > kTagGpsLongitude; }

uint32_t blockEntryTag(const uint8_t* entry, bool big) { return big ? readBe16(entry) : readLe16(entry); }

bool blockEntryWanted(uint32_t tag, bool oldHasVersion) { return tag != 0 || !oldHasVersion; }

bool hasTag(const TiffBytes& in, const IfdTable& t, uint16_t tag) {
  for (uint32_t i = 0; i < t.count; i++)
    if (ifdEntry(in, t, i).tag == tag) return true;
  return false;
}

// Writes `entries` (12 bytes each) sorted by tag, stably, to `out`.
struct Entry {
  uint16_t tag;
  const uint8_t* bytes;
};
void writeSorted(Entry* entries, uint32_t count, uint8_t* out) {
  std::stable_sort(entries, entries + count, [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
  for (uint32_t i = 0; i < count; i++) memcpy(out + i * kIfdEntryBytes, entries[i].bytes, kIfdEntryBytes);
}

uint32_t gpsKeptCount(const TiffBytes& in, const ExifLayout& layout) {
  if (layout.gpsPointer == 0) return 0;
  uint32_t kept = 0;
  for (uint32_t i = 0; i < layout.gps.count; i++) kept += keptGpsEntry(ifdEntry(in, layout.gps, i).tag);
  return kept;
}

}  // namespace

TagOutcome planAppendedLayout(const TiffBytes& in, const ExifLayout& layout, uint32_t maxSize,
                              AppendPlan* plan) {
  uint32_t gpsEntries = 0;  // IFD0's GPS pointers: replaced by the new one
  for (uint32_t i = 0; i < layout.ifd0.count; i++) gpsEntries += ifdEntry(in, layout.ifd0, i).tag == kTagGpsIfd;
  plan->ifd0Count = layout.ifd0.count - gpsEntries + 1;
  const bool oldVersion = layout.gpsPointer != 0 && hasTag(in, layout.gps, 0);
  plan->gpsCount = gpsKeptCount(in, layout) + (oldVersion ? kBlockEntries - 1 : kBlockEntries);
  if (plan->ifd0Count > kMaxIfdEntries) return TagOutcome::OutsideLayout;
  const uint64_t ifd0Bytes = 6 + uint64_t{kIfdEntryBytes} * plan->ifd0Count;
  const uint64_t gpsBytes = 6 + uint64_t{kIfdEntryBytes} * plan->gpsCount + kRationalBytes + 1;

  bool beyond = false;
  uint64_t used = 0;
  if (TagOutcome o = knownEnd(in, layout, &used, &beyond); o != TagOutcome::Tagged) return o;
  uint64_t zeros = in.size;
  while (zeros > 0 && in.data[zeros - 1] == 0) zeros--;
  const uint64_t free = evenUp(std::max(used, zeros));
  uint64_t at = free, size = in.size;
  if (free + ifd0Bytes + gpsBytes > in.size) {
    if (beyond) return TagOutcome::OutsideLayout;
    at = evenUp(in.size);
    size = at + ifd0Bytes + gpsBytes;
  }
  if (size > maxSize) return TagOutcome::App1TooLong;
  plan->ifd0 = static_cast<uint32_t>(at);
  plan->gps = static_cast<uint32_t>(at + ifd0Bytes);
  plan->size = static_cast<uint32_t>(size);
  return TagOutcome::Tagged;
}

void buildAppendedTiff(const TiffBytes& in, const ExifLayout& layout, const AppendPlan& plan,
                       const uint8_t gpsBlock[kGpsBlockBytes], uint8_t* out) {
  const bool big = in.bigEndian;
  memcpy(out, in.data, in.size);
  if (plan.size > in.size) memset(out + in.size, 0, plan.size - in.size);
  putTiff32(out + 4, plan.ifd0, big);

  // IFD0: the old entries but any GPS pointer, and the new one.
  static Entry entries[kMaxIfdEntries + kBlockEntries];  // one copy is built at a time
  uint8_t pointer[kIfdEntryBytes];
  putTiff16(pointer, kTagGpsIfd, big);
  putTiff16(pointer + 2, kTypeLong, big);
  putTiff32(pointer + 4, 1, big);
  putTiff32(pointer + 8, plan.gps, big);
  uint32_t n = 0;
  for (uint32_t i = 0; i < layout.ifd0.count; i++) {
    const IfdEntry e = ifdEntry(in, layout.ifd0, i);
    if (e.tag != kTagGpsIfd) entries[n++] = Entry{e.tag, in.data + e.position};
  }
  entries[n++] = Entry{kTagGpsIfd, pointer};
  uint8_t* ifd0 = out + plan.ifd0;
  putTiff16(ifd0, n, big);
  writeSorted(entries, n, ifd0 + 2);
  putTiff32(ifd0 + 2 + n * kIfdEntryBytes, layout.ifd1, big);

  // The GPS IFD: the block's entries, those kept from the photo's, then the
  // block's rationals. The latitude's and longitude's offsets point at them.
  const uint32_t rationals = plan.gps + 6 + plan.gpsCount * kIfdEntryBytes;
  uint8_t block[kGpsBlockBytes];
  memcpy(block, gpsBlock, kGpsBlockBytes);
  const bool oldVersion = layout.gpsPointer != 0 && hasTag(in, layout.gps, 0);
  uint32_t c = 0;
  for (uint32_t i = 0; i < kBlockEntries; i++) {
    uint8_t* entry = block + 2 + i * kIfdEntryBytes;
    const uint32_t tag = blockEntryTag(entry, big);
    if (tag == kTagGpsLatitude) putTiff32(entry + 8, rationals, big);
    if (tag == kTagGpsLongitude) putTiff32(entry + 8, rationals + 24, big);
    if (blockEntryWanted(tag, oldVersion)) entries[c++] = Entry{static_cast<uint16_t>(tag), entry};
  }
  if (layout.gpsPointer != 0)
    for (uint32_t i = 0; i < layout.gps.count; i++) {
      const IfdEntry e = ifdEntry(in, layout.gps, i);
      if (keptGpsEntry(e.tag)) entries[c++] = Entry{e.tag, in.data + e.position};
    }
  uint8_t* gps = out + plan.gps;
  putTiff16(gps, c, big);
  writeSorted(entries, c, gps + 2);
  putTiff32(gps + 2 + c * kIfdEntryBytes, 0, big);
  memcpy(out + rationals, block + kBlockRationals, kRationalBytes + 1);
}

CopyExpectation appendedCopyExpectation(const ExifLayout& was, const AppendPlan& plan) {
  CopyExpectation want;
  want.ifd0 = plan.ifd0;
  want.ifd0Count = plan.ifd0Count;
  want.exifIfd = was.exifIfd;
  want.gpsIfd = plan.gps;
  want.ifd1 = was.ifd1;
  return want;
}
