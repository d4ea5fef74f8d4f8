// DrawTextW through FreeType: where text lands, its background, its lines,
// and the Cyrillic the screen's texts are written in.
#include <gtest/gtest.h>

#include "tests/painting/painting_helpers.h"
#include "platform/gdi/gdi_objects.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kCardBlue = RGB(49, 99, 197);

class ScreenFont {
 public:
  ScreenFont(LONG height, LONG weight) {
    LOGFONTW lf{};
    GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(lf), &lf);
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfQuality = 5;
    font_ = CreateFontIndirectW(&lf);
  }
  ~ScreenFont() { DeleteObject(font_); }
  HFONT get() const { return font_; }

 private:
  HFONT font_;
};

// Rows of r that hold any pixel other than `paper`.
std::vector<int> inkRows(const Surface& s, RECT r, COLORREF paper) {
  std::vector<int> rows;
  for (int y = r.top; y < r.bottom; ++y) {
    if (countNot(s, RECT{r.left, y, r.right, y + 1}, paper) > 0) rows.push_back(y);
  }
  return rows;
}

TEST(DrawText, OpaqueLineOnItsBackgroundClippedToTheRectangle) {
  MemoryCanvas canvas(480, 60, kCardBlue);
  ScreenFont header(14, FW_BOLD);
  HGDIOBJ old = SelectObject(canvas.dc(), header.get());
  SetTextColor(canvas.dc(), kWhite);
  SetBkColor(canvas.dc(), kCardBlue);
  // A long card line in a short rectangle: nothing may leave it.
  RECT r{25, 38, 150, 54};
  const char16_t* line = u"Обнаружена SD: 1.842 GB (свободно: 0.954 GB)";
  EXPECT_EQ(DrawTextW(canvas.dc(), line, -1, &r, 0), 14);
  Surface s = canvas.pixels();
  EXPECT_EQ(countNot(s, RECT{0, 0, 480, 38}, kCardBlue), 0);
  EXPECT_EQ(countNot(s, RECT{150, 0, 480, 60}, kCardBlue), 0);
  EXPECT_EQ(countNot(s, RECT{0, 0, 25, 60}, kCardBlue), 0);
  EXPECT_EQ(countNot(s, RECT{0, 52, 480, 60}, kCardBlue), 0);  // a 14-pixel cell from y = 38
  EXPECT_GT(countColour(s, RECT{25, 38, 150, 52}, kWhite), 60);

  // On white paper with the opaque default, the line's cell turns blue first.
  MemoryCanvas white(200, 30, kWhite);
  SelectObject(white.dc(), header.get());
  SetTextColor(white.dc(), kWhite);
  SetBkColor(white.dc(), kCardBlue);
  RECT w{10, 5, 200, 30};
  DrawTextW(white.dc(), u"SD", -1, &w, 0);
  Surface ws = white.pixels();
  EXPECT_EQ(ws.row(5)[10], pixelFromColorref(kCardBlue));
  EXPECT_EQ(ws.row(18)[10], pixelFromColorref(kCardBlue));
  EXPECT_EQ(ws.row(19)[10], pixelFromColorref(kWhite));  // below the cell
  EXPECT_EQ(ws.row(10)[150], pixelFromColorref(kWhite));  // past the line's end
  SelectObject(white.dc(), old);
  SelectObject(canvas.dc(), old);
}

TEST(DrawText, TransparentModeLeavesTheBackground) {
  MemoryCanvas canvas(100, 30, kWhite);
  ScreenFont font(17, FW_NORMAL);
  HGDIOBJ old = SelectObject(canvas.dc(), font.get());
  SetBkMode(canvas.dc(), TRANSPARENT);
  SetBkColor(canvas.dc(), kCardBlue);
  RECT r{0, 0, 100, 30};
  DrawTextW(canvas.dc(), u"НАЙДЕНО", -1, &r, 0);
  Surface s = canvas.pixels();
  EXPECT_EQ(countColour(s, r, kCardBlue), 0);
  EXPECT_GT(countNot(s, r, kWhite), 30);
  SelectObject(canvas.dc(), old);
}

TEST(DrawText, BreaksOnlyAtLineBreaksAndClipsTheLastLine) {
  MemoryCanvas canvas(480, 160, kWhite);
  ScreenFont panel(17, FW_NORMAL);
  HGDIOBJ old = SelectObject(canvas.dc(), panel.get());
  RECT r{25, 65, 450, 150};
  const char16_t* text =
      u"НАЙДЕНО 12 ФОТОГРАФИЙ.\nДЛЯ ЗАПИСИ GPS-КООРДИНАТ В ФОТО\nНАЖМИТЕ КНОПКУ \"START\"";
  EXPECT_EQ(DrawTextW(canvas.dc(), text, -1, &r, 0), 3 * 17);
  Surface s = canvas.pixels();
  std::vector<int> rows = inkRows(s, RECT{0, 0, 480, 160}, kWhite);
  ASSERT_FALSE(rows.empty());
  EXPECT_GE(rows.front(), 65);
  EXPECT_LT(rows.back(), 65 + 3 * 17);
  // Three bands of ink, one per 17-pixel line.
  for (int line = 0; line < 3; ++line) {
    EXPECT_GT(countNot(s, RECT{25, 65 + 17 * line, 450, 65 + 17 * line + 17}, kWhite), 100) << line;
  }
  // No wrapping: a line wider than the rectangle is cut at its right edge.
  MemoryCanvas narrow(200, 60, kWhite);
  SelectObject(narrow.dc(), panel.get());
  RECT n{0, 0, 120, 60};
  EXPECT_EQ(DrawTextW(narrow.dc(), u"ДЛЯ ЗАПИСИ GPS-КООРДИНАТ", -1, &n, 0), 17);
  Surface ns = narrow.pixels();
  EXPECT_EQ(countNot(ns, RECT{120, 0, 200, 60}, kWhite), 0);
  EXPECT_EQ(countNot(ns, RECT{0, 17, 200, 60}, kWhite), 0);
  // With word breaks the same text takes more lines and stays inside.
  MemoryCanvas wrapped(200, 60, kWhite);
  SelectObject(wrapped.dc(), panel.get());
  RECT w{0, 0, 120, 60};
  EXPECT_GT(DrawTextW(wrapped.dc(), u"ДЛЯ ЗАПИСИ GPS-КООРДИНАТ", -1, &w, DT_WORDBREAK), 17);
  SelectObject(wrapped.dc(), old);
  SelectObject(narrow.dc(), old);
  SelectObject(canvas.dc(), old);
}

TEST(DrawText, CyrillicHasGlyphsOfItsOwn) {
  ScreenFont panel(17, FW_NORMAL);
  // Each letter drawn alone must leave ink, and differ from the missing-glyph box.
  auto render = [&](const char16_t* letter) {
    MemoryCanvas c(30, 20, kWhite);
    HGDIOBJ old = SelectObject(c.dc(), panel.get());
    SetBkMode(c.dc(), TRANSPARENT);
    RECT r{0, 0, 30, 20};
    DrawTextW(c.dc(), letter, -1, &r, 0);
    SelectObject(c.dc(), old);
    return c.pixels().pixels;
  };
  auto missing = render(u"\U000F0000");  // a private-use code point no face has
  for (const char16_t* letter : {u"Ж", u"Ф", u"Й", u"ы", u"ё", u"Щ"}) {
    auto ink = render(letter);
    int dark = 0;
    for (uint32_t p : ink) dark += (p & 0xFF) < 128 ? 1 : 0;
    EXPECT_GT(dark, 5) << std::string(reinterpret_cast<const char*>(letter), 2);
    EXPECT_NE(ink, missing);
  }
  EXPECT_NE(render(u"Ж"), render(u"Ф"));
}

TEST(DrawText, AlignmentAndCentring) {
  ScreenFont font(15, FW_NORMAL);
  auto inkColumns = [](const Surface& s) {
    int first = s.width, last = -1;
    for (int x = 0; x < s.width; ++x) {
      if (countNot(s, RECT{x, 0, x + 1, s.height}, kWhite)) {
        first = std::min(first, x);
        last = x;
      }
    }
    return std::make_pair(first, last);
  };
  MemoryCanvas centred(200, 40, kWhite);
  HGDIOBJ old = SelectObject(centred.dc(), font.get());
  SetBkMode(centred.dc(), TRANSPARENT);
  RECT r{0, 0, 200, 40};
  DrawTextW(centred.dc(), u"EXIT", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  Surface s = centred.pixels();
  auto [first, last] = inkColumns(s);
  EXPECT_NEAR((first + last) / 2.0, 100.0, 3.0);
  std::vector<int> rows = inkRows(s, r, kWhite);
  ASSERT_FALSE(rows.empty());
  EXPECT_NEAR((rows.front() + rows.back()) / 2.0, 20.0, 4.0);

  MemoryCanvas right(200, 20, kWhite);
  SelectObject(right.dc(), font.get());
  RECT rr{0, 0, 200, 20};
  DrawTextW(right.dc(), u"33%", -1, &rr, DT_RIGHT | DT_SINGLELINE | DT_NOCLIP);
  auto [rfirst, rlast] = inkColumns(right.pixels());
  EXPECT_GT(rfirst, 150);
  EXPECT_GE(rlast, 190);
  SelectObject(centred.dc(), old);
  SelectObject(right.dc(), old);
}

TEST(DrawText, HeightsAreCellsAndBoldIsHeavier) {
  auto measure = [](LONG height, LONG weight, const char16_t* text) {
    ScreenFont font(height, weight);
    MemoryCanvas c(400, 60, kWhite);
    HGDIOBJ old = SelectObject(c.dc(), font.get());
    RECT r{0, 0, 0, 0};
    DrawTextW(c.dc(), text, -1, &r, DT_CALCRECT | DT_SINGLELINE);
    RECT d{0, 0, 400, 60};
    DrawTextW(c.dc(), text, -1, &d, 0);
    SelectObject(c.dc(), old);
    Surface s = c.pixels();
    return std::make_tuple(r.bottom - r.top, r.right - r.left, countNot(s, d, kWhite));
  };
  auto [h14, w14, ink14] = measure(14, FW_BOLD, u"ОБРАБОТКА");
  auto [h14n, w14n, ink14n] = measure(14, FW_NORMAL, u"ОБРАБОТКА");
  auto [h17, w17, ink17] = measure(17, FW_NORMAL, u"ОБРАБОТКА");
  auto [hm, wm, inkm] = measure(-17, FW_NORMAL, u"ОБРАБОТКА");
  EXPECT_EQ(h14, 14);
  EXPECT_EQ(h17, 17);
  EXPECT_GT(hm, 17);  // a character height of 17 makes a taller cell
  EXPECT_GT(w17, w14n);
  EXPECT_GE(w14, w14n);
  EXPECT_GT(ink14, ink14n);
  (void)h14n;
  (void)ink17;
  (void)wm;
  (void)inkm;
}

}  // namespace
