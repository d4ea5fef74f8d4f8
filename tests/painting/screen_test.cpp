// The screen: window paints clipped to the area being painted, what the
// displays see, the drawn message box, and PNG snapshots read back.
#include <gtest/gtest.h>

#include <cstdio>

#include "platform/display/screen.h"
#include "tests/painting/painting_helpers.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/xvfb_server.h"
#include "platform/gdi/gdi_objects.h"

namespace {

constexpr COLORREF kBlue = RGB(33, 79, 166);

// Paints the whole screen one colour through a window DC clipped to `clip`.
void paintWindow(const RECT& clip, COLORREF colour) {
  HDC dc = createWindowDC(nullptr, 0, 0, clip);
  HBRUSH brush = CreateSolidBrush(colour);
  RECT all{0, 0, kScreenWidth, kScreenHeight};
  FillRect(dc, &all, brush);
  DeleteObject(brush);
  releaseWindowDC(dc);
}

class ScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hideAllScreenMessageBoxes();
    setScreenWindowShown(true);
    paintWindow(RECT{0, 0, kScreenWidth, kScreenHeight}, RGB(0, 0, 0));
  }
  void TearDown() override {
    hideAllScreenMessageBoxes();
    setScreenWindowShown(false);
  }
};

TEST_F(ScreenTest, WindowPaintsReachOnlyTheAreaBeingPainted) {
  paintWindow(RECT{180, 128, 220, 140}, kBlue);  // the percent digits' patch
  Surface s;
  composeScreen(&s);
  EXPECT_EQ(countColour(s, RECT{180, 128, 220, 140}, kBlue), 40 * 12);
  EXPECT_EQ(countColour(s, RECT{0, 0, kScreenWidth, kScreenHeight}, kBlue), 40 * 12);

  // A bar area starting left of the screen is clipped at its edge.
  paintWindow(RECT{-9, 151, 450, 163}, RGB(255, 255, 255));
  composeScreen(&s);
  EXPECT_EQ(countColour(s, RECT{0, 151, 450, 163}, RGB(255, 255, 255)), 450 * 12);
  EXPECT_EQ(countColour(s, RECT{450, 151, 480, 163}, RGB(0, 0, 0)), 30 * 12);

  // Text drawn through a clipped window DC stays in the clip too.
  HDC dc = createWindowDC(nullptr, 0, 0, RECT{0, 128, 100, 150});
  SetTextColor(dc, RGB(255, 255, 255));
  SetBkColor(dc, RGB(255, 0, 0));
  RECT text{25, 128, 450, 150};
  DrawTextW(dc, u"ОБРАБОТКА ФОТОГРАФИЙ:  33%", -1, &text, 0);
  releaseWindowDC(dc);
  composeScreen(&s);
  EXPECT_GT(countColour(s, RECT{25, 128, 100, 150}, RGB(255, 0, 0)), 100);
  EXPECT_EQ(countColour(s, RECT{100, 0, kScreenWidth, kScreenHeight}, RGB(255, 0, 0)), 0);
}

TEST_F(ScreenTest, UnfinishedPaintsAreNotShownAndHiddenWindowsShowTheDesktop) {
  HDC dc = createWindowDC(nullptr, 0, 0, RECT{0, 0, 10, 10});
  HBRUSH brush = CreateSolidBrush(kBlue);
  RECT r{0, 0, 10, 10};
  FillRect(dc, &r, brush);
  Surface s;
  composeScreen(&s);
  EXPECT_EQ(countColour(s, r, kBlue), 0);
  releaseWindowDC(dc);
  DeleteObject(brush);
  composeScreen(&s);
  EXPECT_EQ(countColour(s, r, kBlue), 100);

  uint64_t before = screenGeneration();
  setScreenWindowShown(false);
  EXPECT_NE(screenGeneration(), before);
  composeScreen(&s);
  EXPECT_EQ(countColour(s, RECT{0, 0, kScreenWidth, kScreenHeight}, colorrefFromPixel(kDesktopPixel)),
            kScreenWidth * kScreenHeight);
}

TEST_F(ScreenTest, MessageBoxIsDrawnCentredOverTheScreenWithItsOkButton) {
  int id = showScreenMessageBox(u"Запись GPS завершена", u"Обработано фотографий: 3 из 5 фотографий.");
  ASSERT_TRUE(screenMessageBoxShown());
  RECT box = screenMessageBoxRect();
  RECT ok = screenMessageBoxOkRect();
  EXPECT_EQ(box.left + box.right, kScreenWidth);
  EXPECT_NEAR(box.top + box.bottom, kScreenHeight, 1);
  EXPECT_GT(ok.left, box.left);
  EXPECT_LT(ok.bottom, box.bottom);
  int cx = (ok.left + ok.right) / 2, cy = (ok.top + ok.bottom) / 2;
  EXPECT_TRUE(screenMessageBoxHitsOk(cx, cy));
  EXPECT_FALSE(screenMessageBoxHitsOk(box.left + 2, box.top + 2));
  EXPECT_TRUE(screenMessageBoxContains(box.left + 2, box.top + 2));
  EXPECT_FALSE(screenMessageBoxContains(5, 5));

  Surface s;
  composeScreen(&s);
  EXPECT_EQ(countNot(s, RECT{0, 0, box.left, kScreenHeight}, RGB(0, 0, 0)), 0);
  EXPECT_GT(countColour(s, box, RGB(255, 255, 255)), area(box) / 3);
  // Paints beneath the box go on, and show round it.
  paintWindow(RECT{0, 0, kScreenWidth, kScreenHeight}, kBlue);
  composeScreen(&s);
  EXPECT_EQ(countColour(s, RECT{0, 0, box.left, kScreenHeight}, kBlue), box.left * kScreenHeight);
  EXPECT_GT(countColour(s, box, RGB(255, 255, 255)), area(box) / 3);

  hideScreenMessageBox(id);
  EXPECT_FALSE(screenMessageBoxHitsOk(cx, cy));
  composeScreen(&s);
  EXPECT_EQ(countColour(s, box, kBlue), area(box));
}

TEST_F(ScreenTest, NestedBoxesAreDismissedNewestFirst) {
  int greeting = showScreenMessageBox(u"Привет! :)", u"Программа для навигатора работает!");
  Surface alone;
  composeScreen(&alone);
  int closing = showScreenMessageBox(u"Действие отменено!",
                                     u"Обработано фотографий: 4 из 12 фотографий.\nВторая строка.");
  Surface both;
  composeScreen(&both);
  EXPECT_NE(both.pixels, alone.pixels);
  ASSERT_TRUE(dismissTopScreenMessageBox());
  EXPECT_TRUE(screenMessageBoxDismissed(closing));
  EXPECT_FALSE(screenMessageBoxDismissed(greeting));
  Surface after;
  composeScreen(&after);
  EXPECT_EQ(after.pixels, alone.pixels);  // the greeting is back on top
  hideScreenMessageBox(closing);
  EXPECT_FALSE(screenMessageBoxDismissed(closing));
  ASSERT_TRUE(dismissTopScreenMessageBox());
  EXPECT_TRUE(screenMessageBoxDismissed(greeting));
  EXPECT_FALSE(screenMessageBoxShown());
  EXPECT_FALSE(dismissTopScreenMessageBox());
  hideScreenMessageBox(greeting);
}

TEST_F(ScreenTest, SnapshotRoundTripsThroughPng) {
  paintWindow(RECT{17, 36, 462, 54}, RGB(49, 99, 197));
  paintWindow(RECT{0, 0, 1, 1}, RGB(1, 2, 3));
  std::string dir = makeTempDir("vt-snapshot");
  std::string path = dir + "/screen.png";
  ASSERT_TRUE(saveScreenSnapshot(path.c_str()));
  Surface expected, read;
  composeScreen(&expected);
  ASSERT_TRUE(readPngFile(path, &read));
  EXPECT_EQ(read.width, kScreenWidth);
  EXPECT_EQ(read.height, kScreenHeight);
  EXPECT_EQ(read.pixels, expected.pixels);
  EXPECT_EQ(read.row(0)[0], 0x010203u);

  EXPECT_FALSE(saveScreenSnapshot((dir + "/missing/screen.png").c_str()));
  removeTree(dir);
}

}  // namespace
