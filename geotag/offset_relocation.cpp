#include "geotag/offset_relocation.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kMaxTables = 8 + kMaxChainedIfds;

// The bytes of the TIFF data whose field the copy rewrites, one bit each.
// One insertion runs at a time, so the map lives here.
uint8_t rewritten[kTiffCapacity / 8];

enum class Pass {
  Check,   // every directory and value can be placed
  Write,   // the moved offsets go into the copy, each byte rewritten marked
  Verify,  // no value, and no entry's tag, type or count, reads other bytes than before
};

// One pass over every offset of the TIFF data.
class OffsetWalk {
 public:
  OffsetWalk(const TiffBytes& in, const ExifLayout& layout, uint8_t* out, Pass pass)
      : in_(in), layout_(layout), out_(out), pass_(pass), map_(offsetMapOf(in, layout)),
        dataStart_(layout.ifd0.end()) {}

  // A value that would read other bytes in the copy than in the photo, or a
  // field two directories would have written differently.
  bool overlapFound() const { return overlap_; }

  TagOutcome run() {
    TagOutcome o = TagOutcome::Tagged;
    if (!claim(layout_.ifd0) || !claim(layout_.exif)) return TagOutcome::OutsideLayout;
    if ((o = place(layout_.exif.offset, layout_.exif.end() - layout_.exif.offset)) != TagOutcome::Tagged)
      return o;
    uint32_t interop = 0;
    if ((o = walkIfd0()) != TagOutcome::Tagged) return o;
    if ((o = walkExif(&interop)) != TagOutcome::Tagged) return o;
    if (interop != 0 && (o = walkInterop(interop)) != TagOutcome::Tagged) return o;
    return walkIfd1Chain();
  }

 private:
  // Writes `value` into the copy's field of `width` bytes at `position`
  // (input coordinates). A field written twice with different bytes is one
  // that two directories read differently: the photo is then refused.
  void rewrite(uint32_t position, uint32_t value, uint32_t width) {
    if (pass_ != Pass::Write) return;
    uint8_t field[4];
    if (width == 2) putTiff16(field, value, in_.bigEndian);
    else putTiff32(field, value, in_.bigEndian);
    uint8_t* at = out_ + map_(position);
    for (uint32_t i = 0; i < width; i++) {
      const uint32_t b = position + i;
      if ((rewritten[b / 8] & (1 << (b % 8))) && at[i] != field[i]) overlap_ = true;
      rewritten[b / 8] |= static_cast<uint8_t>(1 << (b % 8));
      at[i] = field[i];
    }
  }

  // The moved value of the 32-bit offset stored at `position`.
  void move(uint32_t position, uint32_t offset) { rewrite(position, map_(offset), 4); }

  // Bytes that must read back as they were: none of them rewritten to
  // something else. Bytes beyond the data are read by nobody.
  void keep(uint64_t offset, uint64_t length) {
    if (pass_ != Pass::Verify) return;
    if (offset >= in_.size) return;
    const uint64_t end = std::min<uint64_t>(offset + std::min<uint64_t>(length, in_.size), in_.size);
    for (uint64_t b = offset; b < end; b++)
      if ((rewritten[b / 8] & (1 << (b % 8))) && out_[map_(static_cast<uint32_t>(b))] != in_.data[b])
        overlap_ = true;
  }
  // A table's count and its entries' tags, types and counts.
  void keepTable(const IfdTable& t) {
    keep(t.offset, 2);
    for (uint32_t i = 0; i < t.count; i++) keep(t.offset + 2 + i * kIfdEntryBytes, 8);
  }

  // No directory may overlap another: a loop or a shared table would have
  // its offsets moved twice.
  bool claim(const IfdTable& t) {
    if (tables_ == kMaxTables) return false;
    for (int i = 0; i < tables_; i++)
      if (t.offset < claimed_[i].end() && claimed_[i].offset < t.end()) return false;
    claimed_[tables_++] = t;
    return true;
  }

  // Data the copy keeps: after IFD0, inside the TIFF data, and wholly on one
  // side of the insertion point, so that all of it moves by the same amount.
  TagOutcome place(uint64_t offset, uint64_t length) const {
    if (offset < dataStart_ || !in_.has(offset, length)) return TagOutcome::OutsideLayout;
    if (offset < layout_.insertAt && offset + length > layout_.insertAt) return TagOutcome::ValueAcrossIfd1;
    return TagOutcome::Tagged;
  }

  TagOutcome walkIfd0() {
    for (uint32_t i = 0; i < layout_.ifd0.count; i++) {
      IfdEntry e = ifdEntry(in_, layout_.ifd0, i);
      if (e.tag == kTagExifIfd) {
        move(e.position + 8, e.value);
      } else if (e.tag == kTagGpsIfd) {
        // A zero pointer: the new entry after it is the one that counts.
      } else if (valueOutsideEntry(e)) {
        if (TagOutcome o = place(e.value, valueBytes(e)); o != TagOutcome::Tagged) return o;
        move(e.position + 8, e.value);
        keep(e.value, valueBytes(e));
      }
    }
    return TagOutcome::Tagged;
  }

  TagOutcome walkExif(uint32_t* interop) {
    keepTable(layout_.exif);
    keep(layout_.exif.entriesEnd(), 4);
    for (uint32_t i = 0; i < layout_.exif.count; i++) {
      IfdEntry e = ifdEntry(in_, layout_.exif, i);
      if (e.tag == kTagInteropIfd) {
        *interop = e.value;
        if (e.value != 0) move(e.position + 8, e.value);
      } else if (valueOutsideEntry(e)) {
        if (TagOutcome o = place(e.value, valueBytes(e)); o != TagOutcome::Tagged) return o;
        move(e.position + 8, e.value);
        keep(e.value, valueBytes(e));
      } else {
        keep(e.position + 8, 4);
      }
    }
    return TagOutcome::Tagged;
  }

  // Moves the outside values of a directory other than IFD0 and the Exif IFD.
  // In an image's directory (IFD1 and after) the thumbnail's or strips'
  // offsets are moved apart, in moveImageData.
  TagOutcome walkOther(uint32_t offset, IfdTable* table, bool image) {
    if (!readIfdTable(in_, offset, table)) return TagOutcome::OutsideLayout;
    if (TagOutcome o = place(offset, table->end() - uint64_t{offset}); o != TagOutcome::Tagged) return o;
    if (!claim(*table)) return TagOutcome::OutsideLayout;
    keepTable(*table);
    for (uint32_t i = 0; i < table->count; i++) {
      IfdEntry e = ifdEntry(in_, *table, i);
      const bool imageOffsets = image && (e.tag == kTagThumbnailOffset || e.tag == kTagStripOffsets);
      if (!valueOutsideEntry(e)) {
        if (!imageOffsets) keep(e.position + 8, 4);
        continue;
      }
      if (TagOutcome o = place(e.value, valueBytes(e)); o != TagOutcome::Tagged) return o;
      move(e.position + 8, e.value);
      if (!imageOffsets) keep(e.value, valueBytes(e));
    }
    if (nextIfdOffset(in_, *table) == 0) keep(table->entriesEnd(), 4);
    return TagOutcome::Tagged;
  }

  TagOutcome walkInterop(uint32_t offset) {
    IfdTable t;
    return walkOther(offset, &t, false);
  }

  TagOutcome walkIfd1Chain() {
    uint32_t offset = layout_.ifd1;
    for (int k = 0; k < kMaxChainedIfds && offset != 0; k++) {
      IfdTable t;
      TagOutcome o = walkOther(offset, &t, true);
      if (o == TagOutcome::Tagged) o = moveImageData(t, kTagThumbnailOffset, kTagThumbnailLength);
      if (o == TagOutcome::Tagged) o = moveImageData(t, kTagStripOffsets, kTagStripByteCounts);
      if (o != TagOutcome::Tagged) return o;
      uint32_t next = nextIfdOffset(in_, t);
      if (next != 0) move(t.entriesEnd(), next);
      offset = next;
    }
    return offset == 0 ? TagOutcome::Tagged : TagOutcome::OutsideLayout;
  }

  // The last entry of `tag` in the table, if any.
  bool findEntry(const IfdTable& t, uint16_t tag, IfdEntry* found) const {
    bool has = false;
    for (uint32_t i = 0; i < t.count; i++) {
      IfdEntry e = ifdEntry(in_, t, i);
      if (e.tag == tag) {
        *found = e;
        has = true;
      }
    }
    return has;
  }

  // Where the i-th number of an entry of SHORT or LONG numbers lies: in the
  // entry while they fit its 4 bytes, else in the value it points at.
  static uint32_t numberAt(const IfdEntry& e, uint32_t i) {
    const uint32_t size = tiffTypeSize(e.type);
    return (valueOutsideEntry(e) ? e.value : e.position + 8) + i * size;
  }
  uint32_t number(const IfdEntry& e, uint32_t i) const {
    const uint32_t at = numberAt(e, i);
    return tiffTypeSize(e.type) == 2 ? in_.u16(at) : in_.u32(at);
  }

  // The thumbnail (JPEGInterchangeFormat) or the strips of an uncompressed
  // one: offsets that sit in their entry, or in a list of their own, and
  // point at image data like any other value. Each moves in its own width.
  TagOutcome moveImageData(const IfdTable& t, uint16_t offsetTag, uint16_t lengthTag) {
    IfdEntry offsets{}, lengths{};
    if (!findEntry(t, offsetTag, &offsets) || offsets.count == 0) return TagOutcome::Tagged;
    const bool hasLengths = findEntry(t, lengthTag, &lengths);
    auto isNumber = [](const IfdEntry& e) { return e.type == 3 || e.type == 4 || e.type == 13; };
    if (!isNumber(offsets) || (hasLengths && (!isNumber(lengths) || lengths.count != offsets.count)))
      return TagOutcome::OutsideLayout;
    // A list out of the entry has been checked and its own offset moved; its
    // numbers must be in the data, as are the lengths'.
    if (valueOutsideEntry(offsets) && !in_.has(offsets.value, valueBytes(offsets))) return TagOutcome::OutsideLayout;
    if (hasLengths && valueOutsideEntry(lengths) && !in_.has(lengths.value, valueBytes(lengths)))
      return TagOutcome::OutsideLayout;
    for (uint32_t i = 0; i < offsets.count; i++) {
      const uint32_t start = number(offsets, i);
      const uint32_t length = hasLengths ? number(lengths, i) : 0;
      if (TagOutcome o = place(start, length); o != TagOutcome::Tagged) return o;
      const uint32_t moved = map_(start);
      if (tiffTypeSize(offsets.type) == 2 && moved > 0xFFFF) return TagOutcome::OutsideLayout;
      rewrite(numberAt(offsets, i), moved, tiffTypeSize(offsets.type));
      keep(start, length);
    }
    return TagOutcome::Tagged;
  }

  const TiffBytes& in_;
  const ExifLayout& layout_;
  uint8_t* out_;
  const Pass pass_;
  bool overlap_ = false;
  const OffsetMap map_;
  const uint32_t dataStart_;
  IfdTable claimed_[kMaxTables];
  int tables_ = 0;
};

}  // namespace

TagOutcome checkOffsets(const TiffBytes& in, const ExifLayout& layout) {
  return OffsetWalk(in, layout, nullptr, Pass::Check).run();
}

OffsetMap offsetMapOf(const TiffBytes& in, const ExifLayout& layout) {
  uint32_t at = layout.ifd0.offset + 2;
  for (uint32_t i = 0; i < layout.ifd0.count && ifdEntry(in, layout.ifd0, i).tag < kTagGpsIfd; i++)
    at += kIfdEntryBytes;
  return OffsetMap{at, layout.insertAt};
}

uint32_t buildTaggedTiff(const TiffBytes& in, const ExifLayout& layout,
                         const uint8_t gpsBlock[kGpsBlockBytes], uint8_t* out) {
  const bool big = in.bigEndian;
  const uint32_t n = layout.ifd0.count;
  const uint32_t entriesEnd = layout.ifd0.entriesEnd();
  const uint32_t insertAt = layout.insertAt;
  const uint32_t newEntryAt = offsetMapOf(in, layout).newEntryAt;

  memcpy(out, in.data, newEntryAt);
  putTiff16(out + layout.ifd0.offset, n + 1, big);
  uint8_t* entry = out + newEntryAt;
  putTiff16(entry, kTagGpsIfd, big);
  putTiff16(entry + 2, 4, big);  // LONG
  putTiff32(entry + 4, 1, big);
  putTiff32(entry + 8, insertAt + kNewEntryBytes, big);
  memcpy(out + newEntryAt + kNewEntryBytes, in.data + newEntryAt, insertAt - newEntryAt);
  // Without IFD1 the next-IFD offset stays 0.
  putTiff32(out + entriesEnd + kNewEntryBytes, layout.ifd1 != 0 ? layout.ifd1 + kInsertedBytes : 0, big);
  memcpy(out + insertAt + kNewEntryBytes, gpsBlock, kGpsBlockBytes);
  memcpy(out + insertAt + kInsertedBytes, in.data + insertAt, in.size - insertAt);
  memset(rewritten, 0, sizeof rewritten);
  OffsetWalk writing(in, layout, out, Pass::Write);
  writing.run();
  OffsetWalk verifying(in, layout, out, Pass::Verify);
  verifying.run();
  if (writing.overlapFound() || verifying.overlapFound()) return 0;
  return in.size + kInsertedBytes;
}

CopyExpectation insertedCopyExpectation(const TiffBytes& in, const ExifLayout& was) {
  const OffsetMap map = offsetMapOf(in, was);
  CopyExpectation want;
  want.ifd0 = was.ifd0.offset;
  want.ifd0Count = was.ifd0.count + 1;
  want.exifIfd = map(was.exifIfd);
  want.gpsIfd = was.insertAt + kNewEntryBytes;
  want.ifd1 = was.ifd1 != 0 ? was.ifd1 + kInsertedBytes : 0;
  return want;
}

bool readsAsExpected(const ExifLayout& back, const CopyExpectation& want) {
  return back.ifd0.offset == want.ifd0 && back.ifd0.count == want.ifd0Count && back.exifIfd == want.exifIfd &&
         back.gpsPointer == want.gpsIfd && back.ifd1 == want.ifd1;
}
