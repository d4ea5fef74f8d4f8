// The waiting message box as MessageBoxW shows it: drawn over the screen,
// modal on the calling thread while timers, touches and paints beneath it go
// on, and dismissed by OK, Enter or press-ok from another thread.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/screen_control.h"
#include "platform/ce.h"
#include "platform/display/display.h"
#include "platform/display/screen.h"
#include "platform/user/message_queue.h"
#include "platform/user/msgbox.h"
#include "tests/support/wait_for.h"
#include "tests/support/window_fixture.h"

namespace {

class MessageBoxLoop : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    hideAllScreenMessageBoxes();
    MessageRecorder::instance().hook = [this](HWND, UINT m, WPARAM, LPARAM l, LRESULT*) {
      if (m == WM_LBUTTONDOWN || m == WM_LBUTTONUP) touches.push_back({m, l});
      if (m == WM_TIMER) ++ticks;
      return false;
    };
    window = makeWindow(WS_VISIBLE, u"screen");
  }
  void TearDown() override {
    if (helper.joinable()) helper.join();
    setMessageBoxBackend(nullptr);
    KillTimer(window, 7);
    hideAllScreenMessageBoxes();
    WindowTest::TearDown();
  }
  // Runs `act` on another thread once the box is up.
  void whenBoxShown(std::function<void()> act) {
    helper = std::thread([act] {
      waitFor([] { return screenMessageBoxShown(); });
      act();
    });
  }
  static void waitUntil(const std::atomic<int>& counter, int atLeast) {
    waitFor([&] { return counter.load() >= atLeast; });
  }

  HWND window = nullptr;
  std::thread helper;
  std::atomic<int> ticks{0};
  std::vector<std::pair<UINT, LPARAM>> touches;  // only touched on the window's thread
};

TEST_F(MessageBoxLoop, TimersAndTouchesGoOnBeneathUntilOkIsTapped) {
  SetTimer(window, 7, 5, nullptr);
  std::atomic<int>* seen = &ticks;
  whenBoxShown([seen] {
    waitUntil(*seen, 3);
    // A touch beside the box reaches the window beneath, with its position.
    deliverTouch(5, 250, true);
    deliverTouch(5, 250, false);
    // One on the box but off the button is the box's, lift and all.
    RECT box = screenMessageBoxRect();
    deliverTouch(box.left + 2, box.top + 2, true);
    deliverTouch(box.left + 2, box.top + 2, false);
    RECT ok = screenMessageBoxOkRect();
    deliverTouch((ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2, true);
    deliverTouch((ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2, false);
  });
  EXPECT_EQ(MessageBoxW(nullptr, u"Обработано фотографий: 1 из 1 фотографий.", u"Запись GPS завершена", MB_OK),
            IDOK) << "the headless backend answers without waiting";
  useWaitingMessageBoxes();
  testing::internal::CaptureStdout();
  int answer = MessageBoxW(nullptr, u"Программа для навигатора работает!", u"Привет! :)", MB_OK);
  std::string printed = testing::internal::GetCapturedStdout();
  setMessageBoxBackend(nullptr);
  EXPECT_EQ(answer, IDOK);
  EXPECT_GE(ticks.load(), 3);
  EXPECT_EQ(printed, "msgbox\tПривет! :)\tПрограмма для навигатора работает!\n");
  EXPECT_FALSE(screenMessageBoxShown());
  ASSERT_GE(touches.size(), 1u);
  EXPECT_EQ(touches[0].first, static_cast<UINT>(WM_LBUTTONDOWN));
  EXPECT_EQ(touches[0].second, MAKELPARAM(5, 250));
  // The lift beside the box may still be queued; nothing from the box's own taps got through.
  pumpUntil([] { return false; }, 30);
  ASSERT_EQ(touches.size(), 2u);
  EXPECT_EQ(touches[1].first, static_cast<UINT>(WM_LBUTTONUP));
}

TEST_F(MessageBoxLoop, EnterAndPressOkDismissTheNewestBoxFirst) {
  // A box opened inside another (the closing message over a greeting) must
  // be dismissed before the outer one can be; the control channel reports
  // the one on top.
  std::atomic<int> stage{0};
  useWaitingMessageBoxes();
  SetTimer(window, 7, 5, nullptr);
  MessageRecorder::instance().hook = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT*) {
    if (m == WM_TIMER && stage.load() == 0) {
      KillTimer(window, 7);
      stage.store(1);
      MessageBoxW(nullptr, u"Обработано фотографий: 4 из 12 фотографий.", u"Действие отменено!", MB_OK);
      stage.store(2);
    }
    return false;
  };
  helper = std::thread([&] {
    waitUntil(stage, 1);
    std::u16string title, text;
    EXPECT_TRUE(waitFor(
        [&] { return topScreenMessageBox(&title, &text) && title == u"Действие отменено!"; }));
    deliverKey(VK_RETURN, true);  // the inner box
    deliverKey(VK_RETURN, false);
    waitUntil(stage, 2);
    EXPECT_TRUE(topScreenMessageBox(&title, &text));
    EXPECT_EQ(text, u"Программа для навигатора работает!");
    EXPECT_TRUE(pressMessageBoxOk());  // the outer box
  });
  EXPECT_EQ(MessageBoxW(nullptr, u"Программа для навигатора работает!", u"Привет! :)", MB_OK), IDOK);
  EXPECT_EQ(stage.load(), 2);
  EXPECT_FALSE(pressMessageBoxOk());
}

TEST_F(MessageBoxLoop, QuitEndsTheBoxAndIsLeftForTheOuterLoop) {
  useWaitingMessageBoxes();
  PostQuitMessage(3);
  EXPECT_EQ(MessageBoxW(nullptr, u"text", nullptr, MB_OK), IDOK);
  EXPECT_FALSE(screenMessageBoxShown());
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(m.wParam, 3u);
}

}  // namespace
