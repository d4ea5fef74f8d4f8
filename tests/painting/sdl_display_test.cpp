// The sdl display under an Xvfb server of the test's own: the window shows
// exactly the composed screen, scaled, and its clicks and keys reach the
// drawn message box. Skipped where Xvfb, import or xdotool are missing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "platform/display/display.h"
#include "platform/display/screen.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/user/windows.h"
#include "tests/painting/painting_helpers.h"
#include "tests/support/wait_for.h"
#include "tests/support/xvfb_server.h"

namespace {

class SdlDisplay : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    missing = XvfbServer::missingTools();
    if (!missing.empty()) return;
    server = new XvfbServer;
    if (!server->start()) {
      delete server;
      server = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete server;
    server = nullptr;
  }
  void SetUp() override {
    if (!missing.empty()) GTEST_SKIP() << "needs Xvfb, import and xdotool; not installed: " << missing;
    if (!server) GTEST_SKIP() << "Xvfb did not start";
    setenv("DISPLAY", server->display().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    hideAllScreenMessageBoxes();
    setScreenWindowShown(true);
    paintTestPattern();
  }
  void TearDown() override {
    stopDisplay();
    hideAllScreenMessageBoxes();
    setScreenWindowShown(false);
  }

  // Bands of colour and some text, painted through a window DC.
  static void paintTestPattern() {
    HDC dc = createWindowDC(nullptr, 0, 0, RECT{0, 0, kScreenWidth, kScreenHeight});
    for (int i = 0; i < 8; ++i) {
      HBRUSH b = CreateSolidBrush(RGB(static_cast<BYTE>(30 * i), static_cast<BYTE>(255 - 30 * i), 99));
      RECT r{60 * i, 0, 60 * i + 60, kScreenHeight};
      FillRect(dc, &r, b);
      DeleteObject(b);
    }
    RECT text{25, 65, 450, 150};
    DrawTextW(dc, u"НАЙДЕНО 3 ФОТОГРАФИЙ.\nНАЖМИТЕ КНОПКУ \"START\"", -1, &text, 0);
    releaseWindowDC(dc);
  }

  // Starts the display and waits until its window shows the latest screen.
  std::string openWindow(int scale) {
    DisplayOptions options;
    options.name = "sdl";
    options.scale = scale;
    if (!startDisplay(options)) return "";
    std::string id = server->findWindow("Vellumtrace");
    waitUntilPresented();
    return id;
  }

  static void waitUntilPresented() {
    waitFor([] { return displayPresentedGeneration() == screenGeneration(); });
  }

  static XvfbServer* server;
  static std::string missing;
};

XvfbServer* SdlDisplay::server = nullptr;
std::string SdlDisplay::missing;

// Each screen pixel must be a scale x scale block of the window.
void expectScaledCopy(const Surface& screen, const Surface& window, int scale) {
  ASSERT_EQ(window.width, kScreenWidth * scale);
  ASSERT_EQ(window.height, kScreenHeight * scale);
  int wrong = 0;
  for (int y = 0; y < window.height; ++y) {
    for (int x = 0; x < window.width; ++x) {
      wrong += window.row(y)[x] != screen.row(y / scale)[x / scale] ? 1 : 0;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST_F(SdlDisplay, WindowShowsTheScreenPixelForPixelAtEachScale) {
  for (int scale : {1, 2}) {
    std::string id = openWindow(scale);
    ASSERT_FALSE(id.empty()) << scale;
    Surface screen, window;
    composeScreen(&screen);
    ASSERT_TRUE(server->grabWindow(id, &window));
    expectScaledCopy(screen, window, scale);
    stopDisplay();
  }
}

TEST_F(SdlDisplay, HiddenWindowShowsTheDesktopAndTheBoxShowsOverIt) {
  std::string id = openWindow(1);
  ASSERT_FALSE(id.empty());
  setScreenWindowShown(false);
  waitUntilPresented();
  Surface window;
  ASSERT_TRUE(server->grabWindow(id, &window));
  EXPECT_EQ(countColour(window, RECT{0, 0, kScreenWidth, kScreenHeight}, colorrefFromPixel(kDesktopPixel)),
            kScreenWidth * kScreenHeight);

  showScreenMessageBox(u"Привет! :)", u"Программа для навигатора работает!");
  waitUntilPresented();
  Surface screen;
  composeScreen(&screen);
  ASSERT_TRUE(server->grabWindow(id, &window));
  expectScaledCopy(screen, window, 1);
}

TEST_F(SdlDisplay, ClickOnOkAndEnterDismissTheBoxAndCtrlIsHeldWhileDown) {
  std::string id = openWindow(2);
  ASSERT_FALSE(id.empty());
  int first = showScreenMessageBox(u"Запись GPS завершена", u"Обработано фотографий: 2 из 2 фотографий.");
  RECT ok = screenMessageBoxOkRect();
  waitUntilPresented();
  // A click on the box beside the button does nothing. The window's events
  // are handled in the order they come, so once Ctrl, pressed after the
  // click, is seen held, the click has been handled too.
  RECT box = screenMessageBoxRect();
  ASSERT_TRUE(server->click(id, (box.left + 3) * 2, (box.top + 30) * 2));
  ASSERT_TRUE(server->key(id, "--delay 0 keydown Control_L"));
  ASSERT_TRUE(waitFor([] { return displayKeyIsDown(VK_CONTROL); }));
  EXPECT_FALSE(screenMessageBoxDismissed(first));
  ASSERT_TRUE(server->key(id, "--delay 0 keyup Control_L"));
  EXPECT_TRUE(waitFor([] { return !displayKeyIsDown(VK_CONTROL); })) << "held only while down";
  // In window pixels: twice the screen's.
  ASSERT_TRUE(server->click(id, (ok.left + ok.right), (ok.top + ok.bottom)));
  EXPECT_TRUE(waitFor([&] { return screenMessageBoxDismissed(first); }));
  hideScreenMessageBox(first);

  int second = showScreenMessageBox(u"Привет! :)", u"Программа для навигатора работает!");
  waitUntilPresented();
  ASSERT_TRUE(server->key(id, "Return"));
  EXPECT_TRUE(waitFor([&] { return screenMessageBoxDismissed(second); }));
  hideScreenMessageBox(second);
}

}  // namespace
