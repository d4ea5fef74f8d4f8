// Rectangles, fills, block transfers and object lifetimes on memory DCs.
#include <gtest/gtest.h>

#include "tests/painting/painting_helpers.h"
#include "platform/gdi/gdi_objects.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kBlue = RGB(33, 79, 166);

TEST(Rectangle, OutlinesWithThePenAndFillsWithTheBrushRightAndBottomExclusive) {
  MemoryCanvas canvas(40, 30);
  HBRUSH blue = CreateSolidBrush(kBlue);
  HGDIOBJ old = SelectObject(canvas.dc(), blue);
  ASSERT_TRUE(Rectangle(canvas.dc(), 5, 4, 17, 16));  // a 12 x 12 bar segment
  Surface s = canvas.pixels();
  // Nothing at x = 17 or y = 16, the exclusive edges.
  EXPECT_EQ(countNot(s, RECT{17, 0, 40, 30}, kWhite), 0);
  EXPECT_EQ(countNot(s, RECT{0, 16, 40, 30}, kWhite), 0);
  EXPECT_EQ(countNot(s, RECT{0, 0, 5, 30}, kWhite), 0);
  EXPECT_EQ(countNot(s, RECT{0, 0, 40, 4}, kWhite), 0);
  // A black 1-pixel frame round a 10 x 10 fill.
  EXPECT_EQ(countColour(s, RECT{6, 5, 16, 15}, kBlue), 100);
  EXPECT_EQ(countColour(s, RECT{5, 4, 17, 16}, kBlack), 12 * 12 - 100);
  EXPECT_EQ(s.row(4)[16], 0u);
  EXPECT_EQ(s.row(15)[5], 0u);
  SelectObject(canvas.dc(), old);
  EXPECT_TRUE(DeleteObject(blue));
}

TEST(Rectangle, TwoPixelsHighIsAllOutlineAndSwappedCornersAreNormalised) {
  MemoryCanvas canvas(50, 10);
  HBRUSH blue = CreateSolidBrush(kBlue);
  HGDIOBJ old = SelectObject(canvas.dc(), blue);
  Rectangle(canvas.dc(), 0, 3, 50, 5);  // the rule line: a black band
  Rectangle(canvas.dc(), 20, 9, 10, 7);
  Surface s = canvas.pixels();
  EXPECT_EQ(countColour(s, RECT{0, 3, 50, 5}, kBlack), 100);
  EXPECT_EQ(countColour(s, RECT{0, 0, 50, 3}, kWhite), 150);
  EXPECT_EQ(countColour(s, RECT{10, 7, 20, 9}, kBlack), 20);
  EXPECT_EQ(countColour(s, RECT{0, 5, 50, 7}, kWhite), 100);
  SelectObject(canvas.dc(), old);
  DeleteObject(blue);
}

TEST(Rectangle, NullPenAndNullBrush) {
  MemoryCanvas canvas(20, 20);
  HGDIOBJ oldPen = SelectObject(canvas.dc(), GetStockObject(NULL_PEN));
  HGDIOBJ oldBrush = SelectObject(canvas.dc(), GetStockObject(BLACK_BRUSH));
  Rectangle(canvas.dc(), 2, 2, 8, 8);  // no outline: one pixel smaller each way
  SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
  SelectObject(canvas.dc(), GetStockObject(NULL_BRUSH));
  Rectangle(canvas.dc(), 10, 10, 15, 15);  // outline only
  Surface s = canvas.pixels();
  EXPECT_EQ(countColour(s, RECT{2, 2, 7, 7}, kBlack), 25);
  EXPECT_EQ(countColour(s, RECT{0, 0, 10, 10}, kBlack), 25);
  EXPECT_EQ(countColour(s, RECT{11, 11, 14, 14}, kWhite), 9);
  EXPECT_EQ(countColour(s, RECT{10, 10, 15, 15}, kBlack), 16);
  SelectObject(canvas.dc(), oldPen);
  SelectObject(canvas.dc(), oldBrush);
}

TEST(FillRect, FillsExactlyAndClipsToTheBitmap) {
  MemoryCanvas canvas(16, 16);
  HBRUSH blue = CreateSolidBrush(kBlue);
  RECT r{-5, 10, 4, 40};
  EXPECT_EQ(FillRect(canvas.dc(), &r, blue), 1);
  Surface s = canvas.pixels();
  EXPECT_EQ(countColour(s, RECT{0, 10, 4, 16}, kBlue), 24);
  EXPECT_EQ(countColour(s, RECT{0, 0, 16, 16}, kBlue), 24);
  DeleteObject(blue);
  EXPECT_EQ(FillRect(canvas.dc(), &r, blue), 0);  // a deleted brush is refused
}

TEST(StretchBlt, CopiesOneToOneAndScalesByNearestPixel) {
  MemoryCanvas src(4, 2, kBlack);
  SetPixel(src.dc(), 1, 0, kBlue);
  SetPixel(src.dc(), 3, 1, RGB(255, 0, 0));

  MemoryCanvas same(4, 2);
  ASSERT_TRUE(StretchBlt(same.dc(), 0, 0, 4, 2, src.dc(), 0, 0, 4, 2, SRCCOPY));
  EXPECT_EQ(GetPixel(same.dc(), 1, 0), kBlue);
  EXPECT_EQ(GetPixel(same.dc(), 3, 1), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(same.dc(), 0, 0), kBlack);

  MemoryCanvas big(12, 6);
  ASSERT_TRUE(StretchBlt(big.dc(), 0, 0, 12, 6, src.dc(), 0, 0, 4, 2, SRCCOPY));
  Surface s = big.pixels();
  EXPECT_EQ(countColour(s, RECT{3, 0, 6, 3}, kBlue), 9);  // each source pixel becomes 3 x 3
  EXPECT_EQ(countColour(s, RECT{0, 0, 12, 6}, kBlue), 9);
  EXPECT_EQ(countColour(s, RECT{9, 3, 12, 6}, RGB(255, 0, 0)), 9);

  MemoryCanvas small(2, 1);
  ASSERT_TRUE(StretchBlt(small.dc(), 0, 0, 2, 1, src.dc(), 0, 0, 4, 2, SRCCOPY));
  // Pixel centres fall on source columns 2 and 3 of row 1.
  EXPECT_EQ(GetPixel(small.dc(), 0, 0), kBlack);
  EXPECT_EQ(GetPixel(small.dc(), 1, 0), RGB(255, 0, 0));

  // Offsets on both sides, the part outside the source left alone.
  MemoryCanvas offset(6, 4);
  ASSERT_TRUE(BitBlt(offset.dc(), 2, 1, 4, 2, src.dc(), 1, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(offset.dc(), 2, 1), kBlue);
  EXPECT_EQ(GetPixel(offset.dc(), 5, 1), kWhite);  // source column 4 does not exist
  EXPECT_EQ(GetPixel(offset.dc(), 1, 1), kWhite);
  EXPECT_FALSE(StretchBlt(offset.dc(), 0, 0, 2, 2, src.dc(), 0, 0, 2, 2, 0x00EE0086u));
}

TEST(GdiObjects, SelectedObjectsCannotBeDeletedAndStaleHandlesAreRefused) {
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 8, 8);
  HGDIOBJ defaultBitmap = SelectObject(dc, bitmap);
  ASSERT_NE(defaultBitmap, nullptr);
  EXPECT_FALSE(DeleteObject(bitmap));  // still selected: kept, still drawable
  EXPECT_NE(SetPixel(dc, 1, 1, kBlue), CLR_INVALID);

  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, bitmap), nullptr);  // one memory DC at a time
  DeleteDC(other);

  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof(bm), &bm), static_cast<int>(sizeof(bm)));
  EXPECT_EQ(bm.bmWidth, 8);
  EXPECT_EQ(bm.bmHeight, 8);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  EXPECT_EQ(GetObjectW(bitmap, sizeof(bm) - 1, &bm), 0);

  EXPECT_EQ(SelectObject(dc, defaultBitmap), bitmap);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_FALSE(DeleteObject(bitmap));
  EXPECT_EQ(SelectObject(dc, bitmap), nullptr);
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));  // stock objects stay
  EXPECT_NE(SelectObject(dc, GetStockObject(BLACK_BRUSH)), nullptr);
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_EQ(SetTextColor(dc, kBlack), CLR_INVALID);
  EXPECT_FALSE(Rectangle(dc, 0, 0, 1, 1));
}

TEST(GdiObjects, TheStockSystemFontDescribesTheSansSerifFace) {
  LOGFONTW lf{};
  ASSERT_EQ(GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(lf), &lf), static_cast<int>(sizeof(lf)));
  EXPECT_GT(lf.lfHeight, 0);
  EXPECT_EQ(lf.lfWeight, FW_NORMAL);
  EXPECT_NE(lf.lfFaceName[0], 0);
  // A font made from it with other fields keeps the face.
  lf.lfHeight = 14;
  lf.lfWeight = FW_BOLD;
  lf.lfQuality = 5;
  HFONT font = CreateFontIndirectW(&lf);
  LOGFONTW back{};
  ASSERT_EQ(GetObjectW(font, sizeof(back), &back), static_cast<int>(sizeof(back)));
  EXPECT_EQ(back.lfHeight, 14);
  EXPECT_EQ(back.lfWeight, FW_BOLD);
  EXPECT_EQ(std::u16string(back.lfFaceName), std::u16string(lf.lfFaceName));
  DeleteObject(font);
}

}  // namespace
