// The string and accelerator tables, and the headless message box line.
#include <gtest/gtest.h>

#include "platform/ce.h"
#include "platform/display/input_injection.h"
#include "platform/user/message_queue.h"
#include "platform/user/msgbox.h"
#include "res/resources.h"
#include "tests/support/window_fixture.h"

namespace {

TEST(Strings, LoadCopiesAndCutsToTheBuffer) {
  setModuleResources(&programResources());
  WCHAR buf[100];
  EXPECT_EQ(LoadStringW(GetModuleHandleW(nullptr), 2, buf, 100),
            static_cast<int>(std::u16string(kWindowClass).size()));
  EXPECT_EQ(std::u16string(buf), kWindowClass);
  WCHAR small[5];
  EXPECT_EQ(LoadStringW(nullptr, 1, small, 5), 4);
  EXPECT_EQ(std::u16string(small), std::u16string(kWindowTitle).substr(0, 4));
  EXPECT_EQ(LoadStringW(nullptr, 999, buf, 100), 0);
  EXPECT_EQ(buf[0], 0);
}

class Accelerators : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window = makeWindow();
    accel = LoadAcceleratorsW(nullptr, MAKEINTRESOURCEW(2));
    MessageRecorder::instance().clear();
  }
  // The program's loop, until the queue is empty: the commands that came out.
  std::vector<WPARAM> runLoop() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (!TranslateAcceleratorW(m.hwnd, accel, &m)) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
      }
    }
    std::vector<WPARAM> commands;
    for (auto& s : MessageRecorder::instance().take()) {
      if (s.message == WM_COMMAND) commands.push_back(s.wParam);
    }
    return commands;
  }
  HWND window = nullptr;
  HACCEL accel = nullptr;
};

TEST_F(Accelerators, CtrlKeysBecomeCommandsAndPlainKeysDoNot) {
  ASSERT_NE(accel, nullptr);
  // The hidden main window still takes keys: it is the first top-level window.
  ASSERT_EQ(keyTargetWindow(), window);
  struct Case {
    WORD key;
    bool ctrl;
    std::vector<WPARAM> commands;
  };
  const Case cases[] = {
      {'A', true, {40002 | (1u << 16)}},
      {'Q', true, {1 | (1u << 16)}},
      {'A', false, {}},
      {'B', true, {}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(injectKeyPress(c.key, c.ctrl));
    EXPECT_EQ(runLoop(), c.commands) << char(c.key) << (c.ctrl ? " with Ctrl" : "");
  }
  EXPECT_EQ(LoadAcceleratorsW(nullptr, MAKEINTRESOURCEW(3)), nullptr);
}

TEST(MessageBox, HeadlessPrintsOneLineAndAnswersOk) {
  struct Case {
    LPCWSTR title;
    LPCWSTR text;
    const char* line;
  };
  const Case cases[] = {
      {u"Error", u"Unable to configure the serial port",
       "msgbox\tError\tUnable to configure the serial port\n"},
      {u"TARNIXGPS VellumTrace", u"Программа установлена.\nПри включении",
       "msgbox\tTARNIXGPS VellumTrace\tПрограмма установлена.\\nПри включении\n"},
      {u"t", u"a\r\nb\n\nc", "msgbox\tt\ta\\nb\\n\\nc\n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    int r = MessageBoxW(nullptr, c.text, c.title, MB_OK);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(r, IDOK);
    EXPECT_EQ(out, c.line);
  }
}

int gBackendCalls = 0;
int countingBackend(HWND, LPCWSTR, LPCWSTR, UINT) {
  ++gBackendCalls;
  return IDOK;
}

TEST(MessageBox, ABackendReplacesTheHeadlessForm) {
  MessageBoxBackend old = setMessageBoxBackend(countingBackend);
  testing::internal::CaptureStdout();
  MessageBoxW(nullptr, u"x", u"y", MB_OK);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(gBackendCalls, 1);
  setMessageBoxBackend(old);
}

}  // namespace
