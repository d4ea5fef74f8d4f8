// The screen as it comes out of the painting layer, checked at the layout's
// coordinates, and the texts the paint formats.
#include <gtest/gtest.h>

#include <cmath>

#include "app/state/shared_state.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/display/screen.h"
#include "tests/support/screen_fixture.h"
#include "ui/batch_controller.h"
#include "ui/screen_paint.h"
#include "platform/user/paint.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kSegmentBlue = 0x214FA6;  // RGB(33, 79, 166)
constexpr uint32_t kCardBarBlue = 0x3163C5;  // RGB(49, 99, 197)

class PaintTest : public ScreenTest {
 protected:
  Surface screen() {
    Surface s;
    composeScreen(&s);
    return s;
  }
  Surface repaintAll() {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
    return screen();
  }
  static uint32_t at(const Surface& s, int x, int y) { return s.row(y)[x]; }
  // Pixels in the rectangle (right and bottom exclusive) that differ from `background`.
  static int inked(const Surface& s, RECT r, uint32_t background) {
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) n += s.row(y)[x] != background;
    return n;
  }
  static bool segmentDrawn(const Surface& s, int k) {
    const int left = 25 + 17 * k;
    return at(s, left + 6, 157) == kSegmentBlue && at(s, left, 151) == kBlack &&
           at(s, left + 11, 162) == kBlack;
  }
  void startWith(int photos) {
    ShowWindow(window, SW_MAXIMIZE);
    listPhotos(photos);
    UpdateWindow(window);  // the idle screen the user touches START on
    touch(50, 205);
  }
};

TEST_F(PaintTest, IdleScreenHasCardLineAndCountButNoProgress) {
  shared.cardTotalKb = 1931264;
  shared.cardFreeKb = 1000000;
  listPhotos(3);
  const Surface s = repaintAll();
  EXPECT_GT(inked(s, {25, 38, 450, 54}, kCardBarBlue), 100) << "card line";
  EXPECT_EQ(at(s, 460, 45), kCardBarBlue);
  EXPECT_GT(inked(s, {25, 65, 450, 128}, kWhite), 300) << "photo count";
  EXPECT_EQ(inked(s, {17, 128, 462, 166}, kWhite), 0) << "no percentage, rule or bar";
}

TEST_F(PaintTest, SmallBatchShowsPercentAndRuleWithoutBar) {
  for (int photos = 1; photos <= 4; ++photos) {
    startWith(photos);
    bool checked = false;
    whileBoxOpen = [&] { checked = true; };
    if (photos > 1) {
      tick();
      const Surface s = repaintAll();
      EXPECT_GT(inked(s, {25, 128, 450, 146}, kWhite), 50) << photos;
      EXPECT_EQ(at(s, 240, 146), kBlack);
      EXPECT_EQ(at(s, 240, 147), kBlack);
      EXPECT_EQ(at(s, 5, 146), kBlack) << "the rule runs across the full width";
      EXPECT_EQ(inked(s, {17, 149, 462, 166}, kWhite), 0) << photos << ": no bar";
    }
    while (!checked) tick();
    boxes.clear();
  }
}

TEST_F(PaintTest, BarSegmentsFollowTheProgress) {
  // 12 photos after the first tick: 8.33 %, two segments filled, step 3:
  // five segments from x = 25.
  startWith(12);
  tick();
  Surface s = repaintAll();
  for (int k = 0; k < 5; ++k) EXPECT_TRUE(segmentDrawn(s, k)) << k;
  EXPECT_EQ(at(s, 25 + 17 * 5 + 6, 157), kWhite) << "segment 5 is not drawn";
  EXPECT_EQ(at(s, 25 + 12 + 2, 157), kWhite) << "gap between segments";
  whileBoxOpen = [] {};
  while (boxes.empty()) tick();

  // 25 photos at the last tick: 26 segments, the one at x = 450 outside
  // everything the tick invalidated.
  boxes.clear();
  startWith(25);
  Surface last;
  whileBoxOpen = [&] { last = screen(); };
  while (boxes.empty()) tick();
  ASSERT_EQ(last.width, 480);
  for (int k = 0; k < 25; ++k) EXPECT_TRUE(segmentDrawn(last, k)) << k;
  EXPECT_EQ(at(last, 456, 157), kWhite);
}

// What a tick repaints must leave the percentage and the bar as a full
// repaint would draw them: the patch over the digits has to cover them, and
// the bar's repaint has to reach back to every segment that changed.
TEST_F(PaintTest, TickRepaintMatchesAFullRepaint) {
  for (int photos : {100, 7, 30, 150}) {
    startWith(photos);
    for (int t = 1; t < photos; ++t) {
      tick();
      const Surface afterTick = screen();
      const Surface full = repaintAll();
      // The bar is first repainted when a segment fills; before that the
      // segments drawn ahead of the filled ones wait for it.
      // The percentage is repainted when its whole part changes: at 52.999996
      // (photo 53 of 100) the screen keeps 52 while a full paint rounds to 53.
      const float percent = shared.progressPercent.load();
      // The first photo puts up the whole strip, also at 0.67 % (150 photos).
      const bool wholeChanged = std::floor(percent) != std::floor(shared.prevProgressPercent.load());
      const int firstRow = wholeChanged || t == 1 ? 128 : 140;
      const int lastRow = barSegments(percent) > 0 ? 164 : 151;
      int differing = 0;
      for (int y = firstRow; y < lastRow; ++y)
        for (int x = 0; x < 450; ++x) differing += at(afterTick, x, y) != at(full, x, y);
      ASSERT_EQ(differing, 0) << photos << " photos, tick " << t;
    }
    whileBoxOpen = [] {};
    tick();
    boxes.clear();
  }
}

TEST(ScreenTexts, CardLineAndPercentage) {
  WCHAR text[1024];
  formatCardLine(text, 1931264, 1000000);
  EXPECT_EQ(utf8FromUtf16(text), "Обнаружена SD: 1.842 GB (свободно: 0.954 GB)");
  formatCardLine(text, 4194304, 0);
  EXPECT_EQ(utf8FromUtf16(text), "Обнаружена SD: 4.000 GB (свободно: 0.000 GB)");
  formatCardLine(text, 0xFFFFFFFFu, 8388608);
  EXPECT_EQ(utf8FromUtf16(text), "Обнаружена SD: 4096.000 GB (свободно: 8.000 GB)");
  const struct {
    float percent;
    const char* shown;
  } percents[] = {{33.333336f, "33"}, {66.66667f, "67"}, {52.999996f, "53"},
                  {100.0f, "100"},    {0.8333334f, "1"}, {8.333334f, "8"}};
  for (const auto& p : percents) {
    formatPercentLine(text, p.percent);
    EXPECT_EQ(utf8FromUtf16(text), std::string("ОБРАБОТКА ФОТОГРАФИЙ:  ") + p.shown + "%");
  }
}

TEST_F(PaintTest, PhotoCountShowsPhotosTakenDuringABatch) {
  startWith(5);
  tick();
  tick();
  repaintAll();
  // The last text the paint formats before the percentage is the count.
  InvalidateRect(window, nullptr, FALSE);
  shared.progressPercent = 0.0f;
  UpdateWindow(window);
  EXPECT_EQ(utf8FromUtf16(shared.screenText),
            "НАЙДЕНО 2 ФОТОГРАФИЙ.\nДЛЯ ЗАПИСИ GPS-КООРДИНАТ В ФОТО\nНАЖМИТЕ КНОПКУ \"START\"");
}

}  // namespace
