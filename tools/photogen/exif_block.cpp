#include "tools/photogen/exif_block.h"

#include <vector>

#include "platform/core/byte_order.h"

namespace {

enum : uint16_t { kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kUndefined = 7 };

struct Entry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  std::string value;  // little-endian bytes; inline when 4 bytes or fewer
};

void put16(std::string& out, uint16_t v) {
  char b[2];
  writeLe16(b, v);
  out.append(b, 2);
}
void put32(std::string& out, uint32_t v) {
  char b[4];
  writeLe32(b, v);
  out.append(b, 4);
}
void set32(std::string& out, size_t at, uint32_t v) { writeLe32(&out[at], v); }

Entry ascii(uint16_t tag, const std::string& text) {
  std::string v = text;
  v.push_back('\0');
  return {tag, kAscii, static_cast<uint32_t>(v.size()), v};
}
Entry shortValue(uint16_t tag, uint16_t value) {
  std::string v;
  put16(v, value);
  return {tag, kShort, 1, v};
}
Entry longValue(uint16_t tag, uint32_t value) {
  std::string v;
  put32(v, value);
  return {tag, kLong, 1, v};
}
Entry rational(uint16_t tag, uint32_t num, uint32_t den) {
  std::string v;
  put32(v, num);
  put32(v, den);
  return {tag, kRational, 1, v};
}

// Appends one IFD at the end of `tiff` (offsets count from its start) with
// its long values right after it. Returns the position of its next-IFD
// field; `valueAt` receives, per entry, where its value field lies.
size_t appendIfd(std::string& tiff, const std::vector<Entry>& entries,
                 std::vector<size_t>* valueAt = nullptr) {
  const size_t start = tiff.size();
  size_t outside = start + 2 + 12 * entries.size() + 4;
  put16(tiff, static_cast<uint16_t>(entries.size()));
  std::string values;
  for (const Entry& e : entries) {
    put16(tiff, e.tag);
    put16(tiff, e.type);
    put32(tiff, e.count);
    if (valueAt) valueAt->push_back(tiff.size());
    if (e.value.size() <= 4) {
      std::string v = e.value;
      v.resize(4, '\0');
      tiff += v;
    } else {
      put32(tiff, static_cast<uint32_t>(outside + values.size()));
      values += e.value;
      if (values.size() % 2) values.push_back('\0');  // word-aligned values
    }
  }
  const size_t next = tiff.size();
  put32(tiff, 0);
  tiff += values;
  return next;
}

}  // namespace

std::string buildExifPayload(const ExifFields& f, const std::string& thumbnailJpeg) {
  std::string tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
  const std::vector<Entry> ifd0 = {
      ascii(0x010F, f.make),
      ascii(0x0110, f.model),
      shortValue(0x0112, 1),        // Orientation
      rational(0x011A, 72, 1),      // XResolution
      rational(0x011B, 72, 1),      // YResolution
      shortValue(0x0128, 2),        // ResolutionUnit: inches
      ascii(0x0131, "photogen"),    // Software
      ascii(0x0132, f.dateTimeOriginal),
      shortValue(0x0213, 1),        // YCbCrPositioning
      longValue(0x8769, 0),         // Exif IFD, filled below
  };
  std::vector<size_t> ifd0Values;
  const size_t ifd0Next = appendIfd(tiff, ifd0, &ifd0Values);

  set32(tiff, ifd0Values.back(), static_cast<uint32_t>(tiff.size()));
  std::string version = "0230";
  const std::vector<Entry> exif = {
      rational(0x829A, 1, 250),     // ExposureTime
      rational(0x829D, 28, 10),     // FNumber
      shortValue(0x8827, 100),      // ISO
      {0x9000, kUndefined, 4, version},
      ascii(0x9003, f.dateTimeOriginal),
      ascii(0x9004, f.dateTimeOriginal),
      {0x9101, kUndefined, 4, std::string("\1\2\3\0", 4)},  // ComponentsConfiguration: YCbCr
      rational(0x920A, 50, 10),     // FocalLength
      {0xA000, kUndefined, 4, "0100"},  // FlashpixVersion
      shortValue(0xA001, 1),        // ColorSpace: sRGB
      longValue(0xA002, f.pixelWidth),
      longValue(0xA003, f.pixelHeight),
  };
  appendIfd(tiff, exif);

  set32(tiff, ifd0Next, static_cast<uint32_t>(tiff.size()));
  const std::vector<Entry> ifd1 = {
      shortValue(0x0103, 6),        // Compression: JPEG
      rational(0x011A, 72, 1),
      rational(0x011B, 72, 1),
      shortValue(0x0128, 2),
      longValue(0x0201, 0),         // thumbnail offset, filled below
      longValue(0x0202, static_cast<uint32_t>(thumbnailJpeg.size())),
  };
  std::vector<size_t> ifd1Values;
  appendIfd(tiff, ifd1, &ifd1Values);
  set32(tiff, ifd1Values[4], static_cast<uint32_t>(tiff.size()));
  tiff += thumbnailJpeg;

  std::string payload = std::string("Exif\0\0", 6) + tiff;
  // One segment holds 65533 payload bytes; the tagger needs 127 to spare.
  if (payload.size() + 2 > 65408) return {};
  return payload;
}
