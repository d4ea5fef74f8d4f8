// Builds small JPEG files with an EXIF block laid out exactly as a test asks:
// IFD0, its values, the Exif IFD at a chosen offset, its values, IFD1 at a
// chosen offset, its values and a thumbnail, then a fake scan; in either byte
// order.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/byte_order.h"

struct CraftEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint32_t value = 0;
  std::string data = {};  // over 4 bytes: placed after the table, its offset becoming the value
  uint8_t unit = 1;       // data holds little-endian numbers of this size, turned for "MM"
};

struct CraftSpec {
  std::vector<CraftEntry> ifd0;  // an entry 0x8769 gets the Exif IFD's offset
  std::vector<CraftEntry> exif;
  std::vector<CraftEntry> ifd1;  // 0x0201/0x0202 (or 0x0111/0x0117) of count 1 get the thumbnail's offset/length
  uint32_t exifAt = 0;           // 0: right after IFD0's values
  uint32_t ifd1At = 0;           // 0: right after the Exif IFD's values; ~0u: no IFD1
  std::string afterIfd1;         // bytes after the thumbnail, for values kept there
  std::string thumbnail = "\xFF\xD8thumbnail\xFF\xD9";
  std::string before;            // segments between FF D8 and APP1
  std::string scan = std::string("\xFF\xDB\x00\x04\x01\x02\xFF\xDA\x00\x02", 10) + "scan data\xFF\xD9";
  bool bigEndian = false;
};

// The fields of a photo held in a string, at a byte offset.
inline void putLe16(std::string& s, size_t at, uint32_t v) { writeLe16(&s[at], v); }
inline void putLe32(std::string& s, size_t at, uint32_t v) { writeLe32(&s[at], v); }
inline uint32_t getLe16(const std::string& s, size_t at) { return readLe16(s.data() + at); }
inline uint32_t getLe32(const std::string& s, size_t at) { return readLe32(s.data() + at); }
inline uint32_t getBe16(const std::string& s, size_t at) { return readBe16(s.data() + at); }
inline uint32_t getBe32(const std::string& s, size_t at) { return readBe32(s.data() + at); }

struct CraftedLayout {
  uint32_t exifIfd = 0, ifd1 = 0, thumbnail = 0, afterIfd1 = 0;
  uint32_t ifd0Value[64] = {};  // the value field each IFD0 entry ended with
  uint32_t exifValue[64] = {};
  uint32_t ifd1Value[64] = {};
};

// The TIFF data and where things went.
inline std::string craftTiff(const CraftSpec& spec, CraftedLayout* out) {
  const bool big = spec.bigEndian;
  std::string t = big ? std::string("MM\0*\0\0\0\x08", 8) : std::string("II*\0\x08\0\0\0", 8);
  auto put16 = [&](size_t at, uint32_t v) { big ? writeBe16(&t[at], v) : writeLe16(&t[at], v); };
  auto put32 = [&](size_t at, uint32_t v) { big ? writeBe32(&t[at], v) : writeLe32(&t[at], v); };
  auto ordered = [&](const CraftEntry& e) {
    std::string d = e.data;
    if (big && e.unit > 1)
      for (size_t i = 0; i + e.unit <= d.size(); i += e.unit) std::reverse(d.begin() + i, d.begin() + i + e.unit);
    return d;
  };
  auto table = [&](const std::vector<CraftEntry>& entries, uint32_t* values) {
    size_t at = t.size();
    t.append(2 + 12 * entries.size() + 4, '\0');
    put16(at, static_cast<uint32_t>(entries.size()));
    for (size_t i = 0; i < entries.size(); i++) {
      const CraftEntry& e = entries[i];
      size_t p = at + 2 + 12 * i;
      put16(p, e.tag);
      put16(p + 2, e.type);
      put32(p + 4, e.count);
      uint32_t v = e.value;
      if (e.data.size() > 4) {
        v = static_cast<uint32_t>(t.size());
        t += ordered(e);
        put32(p + 8, v);
      } else if (!e.data.empty()) {
        t.replace(p + 8, e.data.size(), ordered(e));  // kept in the entry, as written
        v = getLe32(t, p + 8);
      } else if (e.type == 3 && e.count == 1) {
        put16(p + 8, v);  // a SHORT sits in the field's first two bytes
      } else {
        put32(p + 8, v);
      }
      values[i] = v;
    }
    return at;
  };
  auto padTo = [&](uint32_t at) {
    if (at > t.size()) t.append(at - t.size(), '\0');
  };
  size_t ifd0 = table(spec.ifd0, out->ifd0Value);
  padTo(spec.exifAt);
  out->exifIfd = static_cast<uint32_t>(t.size());
  table(spec.exif, out->exifValue);
  for (size_t i = 0; i < spec.ifd0.size(); i++)
    if (spec.ifd0[i].tag == 0x8769) put32(ifd0 + 2 + 12 * i + 8, out->ifd0Value[i] = out->exifIfd);
  if (spec.ifd1At != ~0u) {
    padTo(spec.ifd1At);
    out->ifd1 = static_cast<uint32_t>(t.size());
    put32(ifd0 + 2 + 12 * spec.ifd0.size(), out->ifd1);
    size_t ifd1 = table(spec.ifd1, out->ifd1Value);
    out->thumbnail = static_cast<uint32_t>(t.size());
    t += spec.thumbnail;
    out->afterIfd1 = static_cast<uint32_t>(t.size());
    t += spec.afterIfd1;
    for (size_t i = 0; i < spec.ifd1.size(); i++) {
      size_t p = ifd1 + 2 + 12 * i + 8;
      // The JPEG thumbnail, or a single strip of an uncompressed one.
      const uint16_t tag = spec.ifd1[i].tag;
      if (spec.ifd1[i].count != 1) continue;
      if (tag == 0x0201 || tag == 0x0111) put32(p, out->ifd1Value[i] = out->thumbnail);
      if (tag == 0x0202 || tag == 0x0117) put32(p, out->ifd1Value[i] = static_cast<uint32_t>(spec.thumbnail.size()));
    }
  }
  return t;
}

inline std::string app1Of(const std::string& tiff) {
  std::string payload = std::string("Exif\0\0", 6) + tiff;
  size_t length = payload.size() + 2;
  char marker[4] = {'\xFF', '\xE1'};
  writeBe16(marker + 2, static_cast<uint32_t>(length));
  return std::string(marker, 4) + payload;
}

inline std::string craftJpeg(const CraftSpec& spec, CraftedLayout* layout = nullptr) {
  CraftedLayout unused;
  std::string tiff = craftTiff(spec, layout ? layout : &unused);
  return std::string("\xFF\xD8", 2) + spec.before + app1Of(tiff) + spec.scan;
}

inline CraftEntry asciiEntry(uint16_t tag, const std::string& text) {
  std::string data = text + '\0';
  return CraftEntry{tag, 2, static_cast<uint32_t>(data.size()), 0, data};
}
inline CraftEntry rationalEntry(uint16_t tag, uint32_t num, uint32_t den) {
  std::string d(8, '\0');
  putLe32(d, 0, num);
  putLe32(d, 4, den);
  return CraftEntry{tag, 5, 1, 0, d, 4};
}
inline CraftEntry shortEntry(uint16_t tag, uint16_t v) { return CraftEntry{tag, 3, 1, v}; }
inline CraftEntry exifPointer() { return CraftEntry{0x8769, 4, 1, 0}; }

// A camera-like photo: Make, XResolution, Orientation, the Exif pointer;
// DateTimeOriginal and a user comment; IFD1 with a resolution and thumbnail.
inline CraftSpec cameraSpec(const std::string& dateTime) {
  CraftSpec s;
  s.ifd0 = {asciiEntry(0x010F, "Maker"), shortEntry(0x0112, 1), rationalEntry(0x011A, 72, 1), exifPointer()};
  s.exif = {asciiEntry(0x9003, dateTime),
            CraftEntry{0x9286, 7, 16, 0, std::string("ASCII\0\0\0comment!", 16)}};
  s.ifd1 = {rationalEntry(0x011A, 72, 1), CraftEntry{0x0201, 4, 1}, CraftEntry{0x0202, 4, 1}};
  return s;
}
