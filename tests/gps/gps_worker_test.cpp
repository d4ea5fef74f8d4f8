// The worker thread as the program runs it: its hidden window and 500 ms
// timer drive the ticks, WM_CLOSE ends it with the log closed, and a port
// that cannot be set up is said once and tried again until it can.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/state/shared_state.h"
#include "gps/gps_worker.h"
#include "gps/nmea_intake.h"
#include "gps/recorder_notices.h"
#include "gps/track_log.h"
#include "platform/ce.h"
#include "platform/user/windows.h"
#include "platform/user/message_queue.h"
#include "platform/user/msgbox.h"
#include "res/resources.h"
#include "tests/geotag/track_log.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/message_recorder.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"
#include "platform/core/handles.h"

namespace {

const std::string kFix =
    "$GPRMC,093015.00,A,5545.1234,N,03737.5678,E,0.13,309.62,060326,,,A*54\r\n";
const char kNextFix[] =
    "$GPRMC,093016.00,A,5545.1234,N,03737.5678,E,0.13,309.62,060326,,,A*57\r\n";

std::mutex gBoxesLock;
std::vector<std::string> gBoxes;
int recordBox(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
  std::lock_guard<std::mutex> lock(gBoxesLock);
  gBoxes.push_back(messageBoxLine(text, caption));
  return IDOK;
}

HWND workerWindow() {
  for (const LocalWindowInfo& w : listLocalWindows())
    if (w.title == kWindowTitle && w.className == kWindowClass) return w.window;
  return nullptr;
}

class GpsWorkerTest : public DeviceImageTest {
 protected:
  void SetUp() override {
    DeviceImageTest::SetUp();
    resetGpsIntake();
    resetTrackLog();
    WNDCLASSW wc = {};
    wc.lpfnWndProc = recordingWindowProc;
    wc.lpszClassName = kWindowClass;
    RegisterClassW(&wc);  // once per process; later tests find it registered
    MessageRecorder::instance().clear();
    gBoxes.clear();
    previousBackend = setMessageBoxBackend(recordBox);
  }
  void TearDown() override {
    setMessageBoxBackend(previousBackend);
    DeviceImageTest::TearDown();
  }
  std::string day() { return readWholeFile(logPath(*image, "060326")); }

  MessageBoxBackend previousBackend = nullptr;
};

TEST_F(GpsWorkerTest, TheHiddenWindowsTimerDrivesTicksUntilWmCloseEndsTheWorker) {
  PtyReceiver receiver;
  ASSERT_TRUE(receiver.linkAsCom1(image->root()));
  DWORD result = 99;
  std::thread worker([&] { result = gpsWorkerThread(nullptr); });

  ASSERT_TRUE(waitFor([] { return workerWindow() != nullptr; }));
  HWND window = workerWindow();

  ASSERT_TRUE(receiver.send(kFix));
  ASSERT_TRUE(waitFor([&] { return day().size() == 14; }));
  // Made visible, hidden at once, before the first tick.
  EXPECT_FALSE(IsWindowVisible(window));
  ASSERT_TRUE(receiver.send(kNextFix));
  ASSERT_TRUE(waitFor([&] { return day().size() == 28; }));
  EXPECT_EQ(1, shared.logOpen);

  ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
  worker.join();
  EXPECT_EQ(1u, result);
  EXPECT_EQ(0, shared.logOpen);
  WCHAR path[64];
  trackLogPath("060326", path, 64);
  HANDLE reader = CreateFileW(path, GENERIC_READ,
                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, reader);
  CloseHandle(reader);
  EXPECT_TRUE(gBoxes.empty());

  // The loop dispatches nothing: the window procedure never saw a tick or
  // the WM_CLOSE.
  for (UINT m : MessageRecorder::instance().takeMessages(window)) {
    EXPECT_NE(WM_TIMER, m);
    EXPECT_NE(WM_CLOSE, m);
  }
}

// A receiver that is not there at start: one box, one line on standard
// error with the path and the reason, and the port tried again on each tick,
// so a receiver linked in later is recorded from then on.
TEST_F(GpsWorkerTest, AReceiverLinkedInAfterStartIsRecordedAfterOneMessage) {
  resetRecorderNotices();
  testing::internal::CaptureStderr();
  DWORD result = 99;
  std::thread worker([&] { result = gpsWorkerThread(nullptr); });
  ASSERT_TRUE(waitFor([] { return workerWindow() != nullptr; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));  // a few ticks without it
  PtyReceiver receiver;
  ASSERT_TRUE(receiver.linkAsCom1(image->root()));
  ASSERT_TRUE(waitFor([&] {
    receiver.send(kFix);
    return day().size() == 14;
  }));
  ASSERT_TRUE(PostMessageW(workerWindow(), WM_CLOSE, 0, 0));
  worker.join();
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(1u, result);
  ASSERT_EQ(1u, gBoxes.size());
  EXPECT_EQ("msgbox\tError\tUnable to configure the serial port", gBoxes[0]);
  EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
  EXPECT_NE(std::string::npos, err.find(image->root() + "/Com1: No such file or directory")) << err;
}

}  // namespace
