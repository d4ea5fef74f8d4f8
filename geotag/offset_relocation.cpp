#include "geotag/offset_relocation.h"

#include <cstring>

#include "geotag/maker_note.h"

namespace {

constexpr uint16_t kTagInteropIfd = 0xA005;
constexpr uint16_t kTagMakerNote = 0x927C;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;
// IFD1 and the directories chained after it; real photos stop at IFD1.
constexpr int kMaxChainedIfds = 4;
constexpr int kMaxTables = 8 + kMaxChainedIfds;

// One pass over every offset of the TIFF data. Without an output it only
// checks; with one it writes each moved offset into the tagged copy.
class OffsetWalk {
 public:
  OffsetWalk(const TiffBytes& in, const ExifLayout& layout, uint8_t* out)
      : in_(in), layout_(layout), out_(out),
        map_{layout.ifd0.entriesEnd(), layout.ifd1}, dataStart_(layout.ifd0.end()) {}

  TagOutcome run() {
    TagOutcome o = TagOutcome::Tagged;
    if (!claim(layout_.ifd0) || !claim(layout_.exif)) return TagOutcome::OutsideLayout;
    uint32_t interop = 0;
    if ((o = walkIfd0()) != TagOutcome::Tagged) return o;
    if ((o = walkExif(&interop)) != TagOutcome::Tagged) return o;
    if (interop != 0 && (o = walkInterop(interop)) != TagOutcome::Tagged) return o;
    return walkIfd1Chain();
  }

 private:
  // Writes the moved value of the offset stored at `position` (input
  // coordinates) into the copy.
  void move(uint32_t position, uint32_t offset) {
    if (out_) writeLe32(out_ + map_(position), map_(offset));
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

  // Data of IFD0 and the Exif IFD: after IFD0, wholly before IFD1.
  TagOutcome checkBeforeIfd1(uint64_t offset, uint64_t length) const {
    if (offset < dataStart_) return TagOutcome::OutsideLayout;
    if (offset + length > layout_.ifd1) return TagOutcome::ValueAfterIfd1;
    return TagOutcome::Tagged;
  }

  // Data of the other directories: after IFD0, inside the TIFF data, and not
  // across IFD1's start, where the GPS block goes in.
  bool placeable(uint64_t offset, uint64_t length) const {
    if (offset < dataStart_ || !in_.has(offset, length)) return false;
    return offset >= layout_.ifd1 || offset + length <= layout_.ifd1;
  }

  TagOutcome walkIfd0() {
    for (uint32_t i = 0; i < layout_.ifd0.count; i++) {
      IfdEntry e = ifdEntry(in_, layout_.ifd0, i);
      if (e.tag == kTagExifIfd) {
        move(e.position + 8, e.value);
      } else if (e.tag == kTagGpsIfd) {
        // A zero pointer: the new entry after it is the one that counts.
      } else if (valueOutsideEntry(e)) {
        if (TagOutcome o = checkBeforeIfd1(e.value, valueBytes(e)); o != TagOutcome::Tagged) return o;
        move(e.position + 8, e.value);
      }
    }
    return TagOutcome::Tagged;
  }

  TagOutcome walkExif(uint32_t* interop) {
    for (uint32_t i = 0; i < layout_.exif.count; i++) {
      IfdEntry e = ifdEntry(in_, layout_.exif, i);
      if (e.tag == kTagInteropIfd) {
        *interop = e.value;
        if (e.value != 0) move(e.position + 8, e.value);
      } else if (valueOutsideEntry(e)) {
        if (TagOutcome o = checkBeforeIfd1(e.value, valueBytes(e)); o != TagOutcome::Tagged) return o;
        move(e.position + 8, e.value);
        if (e.tag == kTagMakerNote) moveMakerNote(e.value, static_cast<uint32_t>(valueBytes(e)));
      }
    }
    return TagOutcome::Tagged;
  }

  void moveMakerNote(uint32_t start, uint32_t length) {
    IfdTable t;
    if (findTiffRelativeMakerIfd(in_, start, length, &t)) {
      for (uint32_t i = 0; i < t.count; i++) {
        IfdEntry e = ifdEntry(in_, t, i);
        if (valueOutsideEntry(e)) move(e.position + 8, e.value);
      }
    }
    if (uint32_t footer = makerNoteFooterOffset(in_, start, length)) move(footer, start);
  }

  // Moves the outside values of a directory other than IFD0 and the Exif IFD.
  TagOutcome walkOther(uint32_t offset, IfdTable* table) {
    if (!readIfdTable(in_, offset, table) || !placeable(offset, table->end() - uint64_t{offset}) ||
        !claim(*table))
      return TagOutcome::OutsideLayout;
    for (uint32_t i = 0; i < table->count; i++) {
      IfdEntry e = ifdEntry(in_, *table, i);
      if (!valueOutsideEntry(e)) continue;
      if (!placeable(e.value, valueBytes(e))) return TagOutcome::OutsideLayout;
      move(e.position + 8, e.value);
    }
    return TagOutcome::Tagged;
  }

  TagOutcome walkInterop(uint32_t offset) {
    IfdTable t;
    return walkOther(offset, &t);
  }

  TagOutcome walkIfd1Chain() {
    uint32_t offset = layout_.ifd1;
    for (int k = 0; k < kMaxChainedIfds && offset != 0; k++) {
      IfdTable t;
      if (TagOutcome o = walkOther(offset, &t); o != TagOutcome::Tagged) return o;
      if (TagOutcome o = moveThumbnail(t); o != TagOutcome::Tagged) return o;
      uint32_t next = nextIfdOffset(in_, t);
      if (next != 0) move(t.entriesEnd(), next);
      offset = next;
    }
    return offset == 0 ? TagOutcome::Tagged : TagOutcome::OutsideLayout;
  }

  // The thumbnail's offset sits in its entry but points at data like any other.
  TagOutcome moveThumbnail(const IfdTable& t) {
    bool has = false;
    IfdEntry start{};
    uint32_t length = 0;
    for (uint32_t i = 0; i < t.count; i++) {
      IfdEntry e = ifdEntry(in_, t, i);
      if (e.tag == kTagThumbnailOffset) {
        start = e;
        has = true;
      }
      // A SHORT keeps its value in the field's low half.
      if (e.tag == kTagThumbnailLength) length = e.type == 3 ? e.value & 0xFFFF : e.value;
    }
    if (!has || valueOutsideEntry(start)) return TagOutcome::Tagged;
    // A 16-bit offset would leave bytes of another value in the field.
    if (start.type != 4 && start.type != 13) return TagOutcome::OutsideLayout;
    if (!placeable(start.value, length)) return TagOutcome::OutsideLayout;
    move(start.position + 8, start.value);
    return TagOutcome::Tagged;
  }

  const TiffBytes& in_;
  const ExifLayout& layout_;
  uint8_t* out_;
  const OffsetMap map_;
  const uint32_t dataStart_;
  IfdTable claimed_[kMaxTables];
  int tables_ = 0;
};

}  // namespace

TagOutcome checkOffsets(const TiffBytes& in, const ExifLayout& layout) {
  return OffsetWalk(in, layout, nullptr).run();
}

uint32_t buildTaggedTiff(const TiffBytes& in, const ExifLayout& layout,
                         const uint8_t gpsBlock[kGpsBlockBytes], uint8_t* out) {
  const uint32_t n = layout.ifd0.count;
  const uint32_t entriesEnd = layout.ifd0.entriesEnd();
  const uint32_t ifd1 = layout.ifd1;

  memcpy(out, in.data, entriesEnd);
  writeLe16(out + 8, n + 1);
  uint8_t* entry = out + entriesEnd;
  writeLe16(entry, kTagGpsIfd);
  writeLe16(entry + 2, 4);  // LONG
  writeLe32(entry + 4, 1);
  writeLe32(entry + 8, ifd1 + kNewEntryBytes);
  memcpy(out + entriesEnd + kNewEntryBytes, in.data + entriesEnd, ifd1 - entriesEnd);
  writeLe32(out + entriesEnd + kNewEntryBytes, ifd1 + kInsertedBytes);
  memcpy(out + ifd1 + kNewEntryBytes, gpsBlock, kGpsBlockBytes);
  memcpy(out + ifd1 + kInsertedBytes, in.data + ifd1, in.size - ifd1);
  OffsetWalk(in, layout, out).run();
  return in.size + kInsertedBytes;
}
