// BMP files: the reading behind LoadImageW's bitmaps, and the writing the
// tools use. A resource bitmap is kept as the BMP file a resource compiler embeds. Read:
// uncompressed 24 and 32 bits per pixel, bottom-up or top-down, every size
// and offset checked against the bytes there are. Not supported: palettes,
// RLE, bit fields, sizes other than the stored one (cx, cy must be 0), and
// loading from files (LR_LOADFROMFILE).
#include "platform/gdi/bitmap_files.h"

#include "platform/core/byte_order.h"
#include "platform/gdi/gdi_tables.h"

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
  out.resize(out.size() + 4);
  writeLe32(out.data() + out.size() - 4, v);
}
void put16(std::vector<uint8_t>& out, uint16_t v) {
  out.resize(out.size() + 2);
  writeLe16(out.data() + out.size() - 2, v);
}

constexpr size_t kFileHeader = 14;
constexpr int kMaxSide = 8192;

}  // namespace

bool decodeBmpFile(const uint8_t* bytes, size_t size, Surface* out) {
  if (!bytes || size < kFileHeader + 40 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const uint32_t pixelOffset = readLe32(bytes + 10);
  const uint8_t* info = bytes + kFileHeader;
  const uint32_t infoSize = readLe32(info);
  if (infoSize < 40 || infoSize > size - kFileHeader) return false;
  const int32_t width = static_cast<int32_t>(readLe32(info + 4));
  const int32_t rawHeight = static_cast<int32_t>(readLe32(info + 8));
  const uint16_t planes = readLe16(info + 12);
  const uint16_t bits = readLe16(info + 14);
  const uint32_t compression = readLe32(info + 16);
  if (planes != 1 || (bits != 24 && bits != 32) || compression != 0) return false;
  if (width <= 0 || width > kMaxSide || rawHeight == 0 || rawHeight < -kMaxSide ||
      rawHeight > kMaxSide) {
    return false;
  }
  const bool topDown = rawHeight < 0;
  const int height = topDown ? -rawHeight : rawHeight;
  const size_t bytesPerPixel = bits / 8;
  const size_t stride = (static_cast<size_t>(width) * bytesPerPixel + 3) & ~static_cast<size_t>(3);
  // Sizes are bounded above, so this product cannot overflow.
  const size_t needed = stride * static_cast<size_t>(height);
  if (pixelOffset < kFileHeader + infoSize || pixelOffset > size || size - pixelOffset < needed) {
    return false;
  }
  out->resize(width, height, 0);
  for (int y = 0; y < height; ++y) {
    const int fileRow = topDown ? y : height - 1 - y;
    const uint8_t* p = bytes + pixelOffset + stride * static_cast<size_t>(fileRow);
    uint32_t* row = out->row(y);
    for (int x = 0; x < width; ++x, p += bytesPerPixel) {
      row[x] = (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
    }
  }
  return true;
}

std::vector<uint8_t> encodeBmp24(const Surface& image) {
  const size_t stride = (static_cast<size_t>(image.width) * 3 + 3) & ~static_cast<size_t>(3);
  const size_t pixelBytes = stride * static_cast<size_t>(image.height);
  std::vector<uint8_t> out;
  out.reserve(kFileHeader + 40 + pixelBytes);
  out.push_back('B');
  out.push_back('M');
  put32(out, static_cast<uint32_t>(kFileHeader + 40 + pixelBytes));
  put32(out, 0);
  put32(out, static_cast<uint32_t>(kFileHeader + 40));
  put32(out, 40);
  put32(out, static_cast<uint32_t>(image.width));
  put32(out, static_cast<uint32_t>(image.height));  // bottom-up, as resource compilers store it
  put16(out, 1);
  put16(out, 24);
  put32(out, 0);
  put32(out, static_cast<uint32_t>(pixelBytes));
  put32(out, 2835);  // 72 dpi
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  for (int y = image.height - 1; y >= 0; --y) {
    const uint32_t* row = image.row(y);
    for (int x = 0; x < image.width; ++x) {
      out.push_back(static_cast<uint8_t>(row[x]));
      out.push_back(static_cast<uint8_t>(row[x] >> 8));
      out.push_back(static_cast<uint8_t>(row[x] >> 16));
    }
    for (size_t pad = static_cast<size_t>(image.width) * 3; pad < stride; ++pad) out.push_back(0);
  }
  return out;
}

HBITMAP createBitmapFromBmpFile(const uint8_t* bytes, size_t size) {
  auto o = std::make_unique<GdiObject>();
  o->kind = GdiKind::Bitmap;
  if (!decodeBmpFile(bytes, size, &o->surface)) return nullptr;
  std::lock_guard<std::mutex> guard(gdiLock());
  return addObject(std::move(o));
}
