// Window timers: periodic ticks to the owning thread, stopping, re-arming, and
// no burst of ticks for a thread that was busy.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/ce.h"
#include "platform/core/handles.h"
#include "platform/user/message_queue.h"
#include "tests/support/window_fixture.h"

namespace {

class Timers : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    window = makeWindow();
  }
  // Returns once a timer of `ms` on a window of its own has ticked: time the
  // timers' own clock has seen pass, not a sleep that may be cut short.
  void letTimerTimePass(UINT ms) {
    HWND witness = makeWindow(0, u"witness");
    SetTimer(witness, 99, ms, nullptr);
    MSG m;
    ASSERT_EQ(GetMessageW(&m, witness, WM_TIMER, WM_TIMER), TRUE);
    DestroyWindow(witness);
  }
  int countTimerMessages(uintptr_t id) {
    int n = 0;
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_TIMER && m.wParam == id) ++n;
    }
    return n;
  }
  HWND window = nullptr;
};

TEST_F(Timers, PeriodicTicksArriveUntilKilled) {
  ASSERT_NE(SetTimer(window, 1025, 15, nullptr), 0u);
  MSG m;
  std::vector<uintptr_t> ids;
  DWORD start = GetTickCount();
  while (ids.size() < 3) {
    ASSERT_EQ(GetMessageW(&m, window, 0, 0), TRUE);
    EXPECT_EQ(m.message, WM_TIMER);
    EXPECT_EQ(m.hwnd, window);
    ids.push_back(m.wParam);
  }
  EXPECT_GE(GetTickCount() - start, 30u) << "three 15 ms periods";
  EXPECT_EQ(ids, (std::vector<uintptr_t>{1025, 1025, 1025}));
  EXPECT_TRUE(KillTimer(window, 1025));
  EXPECT_FALSE(KillTimer(window, 1025));
  letTimerTimePass(60);  // four periods
  EXPECT_EQ(countTimerMessages(1025), 0);
}

TEST_F(Timers, ABusyThreadGetsOneTickNotABurst) {
  SetTimer(window, 7, 10, nullptr);
  Sleep(120);  // busy: a dozen periods pass without a look at the queue
  EXPECT_EQ(countTimerMessages(7), 1);
  KillTimer(window, 7);
}

TEST_F(Timers, ArmingAgainRestartsThePeriod) {
  SetTimer(window, 1026, 40, nullptr);
  Sleep(25);  // most of a period gone
  DWORD rearmed = GetTickCount();
  SetTimer(window, 1026, 40, nullptr);
  MSG m;
  ASSERT_EQ(GetMessageW(&m, window, WM_TIMER, WM_TIMER), TRUE);
  EXPECT_GE(GetTickCount() - rearmed, 39u);
  KillTimer(window, 1026);
}

TEST_F(Timers, DestroyingTheWindowStopsItsTimers) {
  SetTimer(window, 3, 10, nullptr);
  DestroyWindow(window);
  letTimerTimePass(40);  // four periods
  EXPECT_EQ(countTimerMessages(3), 0);
}

std::atomic<int> gTimerProcCalls{0};
void countingTimerProc(HWND, UINT, uintptr_t, DWORD) { ++gTimerProcCalls; }

TEST_F(Timers, ATimerProcedureIsCalledByDispatch) {
  gTimerProcCalls = 0;
  SetTimer(window, 9, 10, countingTimerProc);
  MSG m;
  ASSERT_EQ(GetMessageW(&m, window, WM_TIMER, WM_TIMER), TRUE);
  MessageRecorder::instance().clear();
  DispatchMessageW(&m);
  EXPECT_EQ(gTimerProcCalls.load(), 1);
  EXPECT_TRUE(MessageRecorder::instance().takeMessages(window).empty());
  KillTimer(window, 9);
}

DWORD armFromAnotherThread(LPVOID param) {
  SetTimer(static_cast<HWND>(param), 1025, 10, nullptr);
  return 0;
}

TEST_F(Timers, TicksGoToTheThreadThatOwnsTheWindow) {
  HANDLE t = CreateThread(nullptr, 0, armFromAnotherThread, window, 0, nullptr);
  ASSERT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  CloseHandle(t);
  MSG m;
  ASSERT_EQ(GetMessageW(&m, window, 0, 0), TRUE);
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.wParam, 1025u);
  KillTimer(window, 1025);
}

}  // namespace
