// Taps and keys from the displays and the control channel reach the window the
// user sees, or nothing when no window is shown.
#include <gtest/gtest.h>

#include "platform/ce.h"
#include "platform/display/input_injection.h"
#include "platform/user/windows.h"
#include "platform/user/message_queue.h"
#include "tests/support/window_fixture.h"

namespace {

class Input : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    first = makeWindow();
    second = makeWindow();
    MessageRecorder::instance().clear();
  }
  std::vector<MSG> fetch() {
    std::vector<MSG> out;
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message != WM_PAINT) out.push_back(m);
      if (m.message == WM_PAINT) DispatchMessageW(&m);
    }
    return out;
  }
  HWND first = nullptr;
  HWND second = nullptr;
};

TEST_F(Input, TapsGoToTheWindowInFrontAndNowhereWhenNoneIsShown) {
  EXPECT_FALSE(injectTap(50, 200)) << "no window is shown";
  EXPECT_TRUE(fetch().empty());

  ShowWindow(second, SW_SHOW);
  ShowWindow(first, SW_SHOW);  // the last shown is in front
  EXPECT_EQ(foregroundWindow(), first);
  ASSERT_TRUE(injectTap(50, 200));
  auto got = fetch();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].hwnd, first);
  EXPECT_EQ(got[0].message, WM_LBUTTONDOWN);
  EXPECT_EQ(LOWORD(got[0].lParam), 50);
  EXPECT_EQ(HIWORD(got[0].lParam), 200);
  EXPECT_EQ(got[1].message, WM_LBUTTONUP);

  ShowWindow(first, SW_HIDE);  // the other shown window comes to the front
  EXPECT_EQ(foregroundWindow(), second);
  SetForegroundWindow(second);
  EXPECT_EQ(GetFocus(), second);
  ASSERT_TRUE(injectKeyEvent('A', true));
  got = fetch();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].hwnd, second);
  EXPECT_EQ(got[0].message, WM_KEYDOWN);

  EXPECT_FALSE(injectTap(70000, 5)) << "outside what a touch panel reports";
}

}  // namespace
