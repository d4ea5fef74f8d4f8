// Resource bitmaps: BMP files read back exactly, and damaged ones refused.
#include <gtest/gtest.h>

#include "platform/gdi/bitmap_files.h"
#include "platform/user/resources.h"
#include "tests/painting/painting_helpers.h"
#include "platform/gdi/gdi_objects.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace {

Surface sample(int w, int h) {
  Surface s;
  s.resize(w, h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.row(y)[x] = static_cast<uint32_t>(((x * 37) & 0xFF) << 16 | ((y * 11) & 0xFF) << 8 | ((x ^ y) & 0xFF));
  return s;
}

TEST(BmpFiles, RoundTripWithRowPaddingAndBothRowOrders) {
  for (int w : {1, 2, 3, 5, 480}) {
    Surface in = sample(w, 7);
    std::vector<uint8_t> file = encodeBmp24(in);
    Surface out;
    ASSERT_TRUE(decodeBmpFile(file.data(), file.size(), &out)) << w;
    EXPECT_EQ(out.pixels, in.pixels) << w;
  }
  // The same picture stored top-down (negative height) reads the same.
  Surface in = sample(3, 4);
  std::vector<uint8_t> file = encodeBmp24(in);
  std::vector<uint8_t> topDown(file.begin(), file.begin() + 54);
  int32_t negative = -4;
  memcpy(&topDown[22], &negative, 4);
  const size_t stride = 12;
  for (int row = 3; row >= 0; --row) {
    topDown.insert(topDown.end(), file.begin() + 54 + stride * row, file.begin() + 54 + stride * (row + 1));
  }
  Surface out;
  ASSERT_TRUE(decodeBmpFile(topDown.data(), topDown.size(), &out));
  EXPECT_EQ(out.pixels, in.pixels);
}

TEST(BmpFiles, DamagedFilesAreRefused) {
  std::vector<uint8_t> good = encodeBmp24(sample(4, 4));
  Surface out;
  auto refused = [&](std::vector<uint8_t> bytes) { return !decodeBmpFile(bytes.data(), bytes.size(), &out); };
  EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.end() - 1)));  // one byte short
  EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 20)));
  auto patched = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> b = good;
    memcpy(&b[at], &value, 4);
    return b;
  };
  EXPECT_TRUE(refused(patched(10, 0xFFFFFFF0u)));  // pixels past the end
  EXPECT_TRUE(refused(patched(10, 4)));            // pixels inside the headers
  EXPECT_TRUE(refused(patched(14, 0x7FFFFFFFu)));  // header larger than the file
  EXPECT_TRUE(refused(patched(18, 0x40000000u)));  // absurd width
  EXPECT_TRUE(refused(patched(22, 0x80000000u)));  // most negative height
  EXPECT_TRUE(refused(patched(22, 0)));
  EXPECT_TRUE(refused(patched(30, 1)));  // RLE
  std::vector<uint8_t> eightBit = good;
  eightBit[28] = 8;
  EXPECT_TRUE(refused(eightBit));
  good[0] = 'X';
  EXPECT_TRUE(refused(good));
  EXPECT_FALSE(decodeBmpFile(nullptr, 0, &out));
}

TEST(BmpFiles, BitmapFromAFileDrawsThroughAMemoryDC) {
  Surface in = sample(6, 5);
  std::vector<uint8_t> file = encodeBmp24(in);
  HBITMAP bitmap = createBitmapFromBmpFile(file.data(), file.size());
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm{};
  GetObjectW(bitmap, sizeof(bm), &bm);
  EXPECT_EQ(bm.bmWidth, 6);
  EXPECT_EQ(bm.bmHeight, 5);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  EXPECT_EQ(GetPixel(dc, 4, 3), colorrefFromPixel(in.row(3)[4]));
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(bitmap);
  EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(9999), IMAGE_BITMAP, 0, 0, 0), nullptr);
}

}  // namespace

namespace {

// The background the program ships: the texts go on plain colours at fixed
// places, and the touch regions on the buttons' art.
TEST(BackgroundBitmap, LoadsAt480By272WithTheLayoutsPlainAreas) {
  setModuleResources(&programResources());
  HGDIOBJ bitmap = LoadImageW(nullptr, MAKEINTRESOURCEW(IDB_BACKGROUND), IMAGE_BITMAP, 0, 0, 0);
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 480);
  EXPECT_EQ(bm.bmHeight, 272);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  Surface s;
  ASSERT_TRUE(copyBitmapPixels(bitmap, &s));
  EXPECT_EQ(countColour(s, RECT{23, 36, 462, 54}, RGB(49, 99, 197)), 439 * 18);  // card bar
  EXPECT_GT(countColour(s, RECT{17, 36, 23, 54}, RGB(255, 255, 255)), 10);      // its label
  EXPECT_EQ(countColour(s, RECT{17, 56, 462, 166}, RGB(255, 255, 255)), 445 * 110);  // panel
  EXPECT_EQ(countColour(s, RECT{0, 36, 16, 166}, RGB(0, 0, 0)), 16 * 130);
  EXPECT_EQ(countColour(s, RECT{0, 0, 480, 9}, RGB(0, 0, 0)), 480 * 9);
  EXPECT_GT(countNot(s, RECT{16, 10, 235, 25}, RGB(0, 0, 0)), 200);  // the title
  // Each touch region lies on its button: no black inside the inner part.
  EXPECT_EQ(countColour(s, RECT{20, 196, 90, 215}, RGB(0, 0, 0)), 0);
  EXPECT_EQ(countColour(s, RECT{20, 236, 90, 256}, RGB(0, 0, 0)), 0);
  EXPECT_GT(countColour(s, RECT{20, 196, 90, 215}, RGB(255, 255, 255)), 20);  // labels
  EXPECT_GT(countColour(s, RECT{20, 236, 90, 256}, RGB(255, 255, 255)), 20);
  EXPECT_GT(countNot(s, RECT{340, 192, 467, 258}, RGB(0, 0, 0)), 2000);  // logo
  DeleteObject(bitmap);
}

}  // namespace
