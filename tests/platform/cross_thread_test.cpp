// Two threads, as the program has them: a worker with its own hidden window
// and loop, and a UI thread whose window the worker shows and updates. What
// runs a window's procedure runs on the window's thread, and neither thread
// can deadlock the other.
#include <gtest/gtest.h>

#include <atomic>

#include "platform/ce.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/user/message_queue.h"
#include "platform/user/paint.h"
#include "tests/support/window_fixture.h"

namespace {

struct WorkerSetup {
  std::u16string className;
  HWND owner = nullptr;
  std::atomic<HWND> window{nullptr};
  std::atomic<int> ticks{0};
  std::atomic<DWORD> threadId{0};
};

// The worker's loop: its own window only, nothing dispatched, WM_CLOSE or a
// result of 0 ends it.
DWORD workerThread(LPVOID param) {
  auto* s = static_cast<WorkerSetup*>(param);
  s->threadId = GetCurrentThreadId();
  HWND w = CreateWindowExW(0, s->className.c_str(), u"worker", WS_VISIBLE, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, s->owner, nullptr,
                           nullptr, nullptr);
  ShowWindow(w, SW_HIDE);
  SetTimer(w, 1025, 10, nullptr);
  s->window = w;
  MSG m;
  while (GetMessageW(&m, w, 0, 0) > 0) {
    if (m.message == WM_CLOSE) break;
    if (m.message == WM_TIMER && m.wParam == 1025) ++s->ticks;
  }
  return 1;
}

class CrossThread : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    mainWindow = makeWindow(0, u"main");
  }
  HWND mainWindow = nullptr;
};

TEST_F(CrossThread, WorkerLoopTicksAndEndsOnAPostedClose) {
  WorkerSetup s;
  s.className = recordingClass;
  s.owner = mainWindow;
  DWORD id = 0;
  HANDLE t = CreateThread(nullptr, 0, workerThread, &s, 0, &id);
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(pumpUntil([&] { return s.ticks >= 3; }));
  EXPECT_EQ(s.threadId.load(), id);
  HWND w = s.window;
  EXPECT_FALSE(IsWindowVisible(w));
  // Found by class and title like any window of the process.
  EXPECT_EQ(FindWindowW(recordingClass.c_str(), u"worker"), w);
  EXPECT_TRUE(PostMessageW(w, WM_CLOSE, 1147, 0));
  ASSERT_EQ(WaitForSingleObject(t, 2000), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 1u);
  CloseHandle(t);
  // Its window ended with the thread.
  EXPECT_FALSE(IsWindow(w));
  EXPECT_FALSE(PostMessageW(w, WM_CLOSE, 0, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

struct ShowRequest {
  HWND window;
  std::atomic<bool> returned{false};
};

DWORD showFromWorker(LPVOID param) {
  auto* r = static_cast<ShowRequest*>(param);
  ShowWindow(r->window, SW_SHOW);
  ShowWindow(r->window, SW_MAXIMIZE);
  InvalidateRect(r->window, nullptr, FALSE);
  UpdateWindow(r->window);
  SetForegroundWindow(r->window);
  r->returned = true;
  return 0;
}

TEST_F(CrossThread, ShowAndUpdateFromTheWorkerRunOnTheWindowsThread) {
  MessageRecorder::instance().hook = [](HWND w, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg != WM_PAINT) return false;
    PAINTSTRUCT ps;
    BeginPaint(w, &ps);
    EndPaint(w, &ps);
    *result = 0;
    return true;
  };
  MessageRecorder::instance().clear();
  ShowRequest r;
  r.window = mainWindow;
  HANDLE t = CreateThread(nullptr, 0, showFromWorker, &r, 0, nullptr);
  // Answer sent messages only (a range nothing is posted in), so that no
  // paint of the queue's own comes between the worker's calls.
  MSG m;
  while (!r.returned) PeekMessageW(&m, nullptr, WM_USER + 99, WM_USER + 99, PM_REMOVE);
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);
  auto seen = MessageRecorder::instance().take();
  std::vector<UINT> order;
  for (auto& m : seen) {
    if (m.window != mainWindow) continue;
    order.push_back(m.message);
    EXPECT_EQ(m.threadId, GetCurrentThreadId()) << messageName(m.message);
  }
  // Shown means wholly invalid, background included: BeginPaint asks to erase.
  EXPECT_EQ(order, (std::vector<UINT>{WM_SHOWWINDOW, WM_PAINT, WM_ERASEBKGND}));
  EXPECT_TRUE(IsWindowVisible(mainWindow));
  EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE))
      << "UpdateWindow painted it already";
}

TEST_F(CrossThread, ASendReachesAThreadInsideANestedLoopOrAWait) {
  ShowRequest r;
  r.window = mainWindow;
  // The UI thread is inside a modal loop of its own (as under a message box)
  // when the worker shows its window.
  std::atomic<bool> nestedDone{false};
  MessageRecorder::instance().hook = [&](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg != WM_USER) return false;
    pumpUntil([&] { return r.returned.load(); });
    nestedDone = true;
    *result = 0;
    return true;
  };
  PostMessageW(mainWindow, WM_USER, 0, 0);
  HANDLE t = CreateThread(nullptr, 0, showFromWorker, &r, 0, nullptr);
  MSG m;
  ASSERT_EQ(GetMessageW(&m, nullptr, 0, 0), TRUE);
  DispatchMessageW(&m);
  EXPECT_TRUE(nestedDone.load());
  EXPECT_TRUE(r.returned.load());
  WaitForSingleObject(t, INFINITE);
  CloseHandle(t);

  // And while it waits for the worker to end.
  ShowWindow(mainWindow, SW_HIDE);
  ShowRequest again;
  again.window = mainWindow;
  t = CreateThread(nullptr, 0, showFromWorker, &again, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  EXPECT_TRUE(again.returned.load());
  EXPECT_TRUE(IsWindowVisible(mainWindow));
  CloseHandle(t);
}

struct PingPong {
  HWND peerWindow;
  std::atomic<LRESULT> answer{0};
};

DWORD sendToPeer(LPVOID param) {
  auto* p = static_cast<PingPong*>(param);
  p->answer = SendMessageW(p->peerWindow, WM_USER + 5, 0, 0);
  return 0;
}

TEST_F(CrossThread, SendMessageAcrossThreadsReturnsTheOwnersAnswer) {
  MessageRecorder::instance().hook = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg != WM_USER + 5) return false;
    *result = 42;
    return true;
  };
  PingPong p;
  p.peerWindow = mainWindow;
  HANDLE t = CreateThread(nullptr, 0, sendToPeer, &p, 0, nullptr);
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  EXPECT_EQ(p.answer.load(), 42);
  CloseHandle(t);
}

std::atomic<bool> gMayReturn{false};
DWORD returnsSevenWhenLetGo(LPVOID) {
  while (!gMayReturn.load()) Sleep(1);
  return 7;
}

TEST(Threads, WaitTimesOutThenSeesTheExitCode) {
  gMayReturn = false;
  HANDLE t = CreateThread(nullptr, 0, returnsSevenWhenLetGo, nullptr, 0, nullptr);
  ASSERT_NE(t, nullptr);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 259u);  // still running
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_TIMEOUT);
  EXPECT_EQ(WaitForSingleObject(t, 20), WAIT_TIMEOUT);
  gMayReturn = true;
  EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(t, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(CloseHandle(t));
  EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_FAILED);
  EXPECT_NE(GetCurrentThreadId(), 0u);
}

}  // namespace

namespace {

// The owner thread, while answering a send, sends back to the sender's window:
// the sender answers it from inside its own wait.
struct Echo {
  std::u16string className;
  HWND callerWindow = nullptr;
  std::atomic<HWND> window{nullptr};
};
Echo* gEcho = nullptr;

LRESULT echoProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 6) return SendMessageW(gEcho->callerWindow, WM_USER + 7, 0, 0) + 1;
  return DefWindowProcW(window, message, wParam, lParam);
}

DWORD echoThread(LPVOID) {
  HWND w = CreateWindowExW(0, u"EchoClass", u"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                           nullptr);
  gEcho->window = w;
  MSG m;
  while (GetMessageW(&m, nullptr, 0, 0) > 0) DispatchMessageW(&m);
  return 0;
}

TEST_F(CrossThread, SendsInBothDirectionsAtOnceDoNotDeadlock) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = echoProc;
  wc.lpszClassName = u"EchoClass";
  RegisterClassW(&wc);
  Echo echo;
  echo.callerWindow = mainWindow;
  gEcho = &echo;
  MessageRecorder::instance().hook = [](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg != WM_USER + 7) return false;
    *result = 40;
    return true;
  };
  HANDLE t = CreateThread(nullptr, 0, echoThread, nullptr, 0, nullptr);
  ASSERT_TRUE(pumpUntil([&] { return echo.window.load() != nullptr; }));
  EXPECT_EQ(SendMessageW(echo.window, WM_USER + 6, 0, 0), 41);
  PostMessageW(echo.window, WM_QUIT, 0, 0);  // a posted WM_QUIT also ends a loop
  EXPECT_EQ(WaitForSingleObject(t, 5000), WAIT_OBJECT_0);
  CloseHandle(t);
  gEcho = nullptr;
}

}  // namespace
