// The GPS worker thread: owns "Com1:" and a hidden window of the main
// window's class whose 500 ms timer drives the recorder's ticks. A port that
// cannot be set up at start is reported once and tried again on each tick;
// the card check runs meanwhile.
#include "gps/gps_worker.h"

#include "app/state/shared_state.h"
#include "gps/nmea_intake.h"
#include "gps/recorder_notices.h"
#include "gps/track_log.h"
#include "platform/ce.h"
#include "res/resource_ids.h"
#include "platform/user/message_queue.h"
#include "platform/core/handles.h"

namespace {

// A port that could not be set up is tried again on every tick, as a
// receiver plugged in (or freed by the program that held it) would be
// after a replug; the box is shown for the first failure only, and the
// debug output says each new reason once.
void tryGpsPortAgain() {
  LPCWSTR failure = nullptr;
  HANDLE port = openGpsPort(&failure);
  if (!port) {
    sayPortFailure();
    return;
  }
  notePortOpened();
  gpsIntake.port = port;
}

}  // namespace

DWORD gpsWorkerThread(LPVOID) {
  LPCWSTR failure = nullptr;
  HANDLE port = openGpsPort(&failure);
  if (!port) {
    sayPortFailure();
    MessageBoxW(nullptr, failure, u"Error", MB_OK);
  } else {
    notePortOpened();
  }
  gpsIntake.port = port;

  WCHAR title[100] = {};
  WCHAR className[100] = {};
  LoadStringW(shared.appInstance, IDS_WINDOW_TITLE, title, 100);
  LoadStringW(shared.appInstance, IDS_WINDOW_CLASS, className, 100);
  HWND window = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, shared.mainWindow, nullptr,
                                shared.appInstance, nullptr);
  ShowWindow(window, SW_HIDE);
  SetTimer(window, kGpsTimerId, kGpsTickMs, nullptr);

  // Messages for the worker window only; none is dispatched.
  MSG msg;
  for (;;) {
    BOOL got = GetMessageW(&msg, window, 0, 0);
    if (got == 0 || got == -1) break;  // -1: no such window; waiting again would spin
    if (msg.message == WM_CLOSE) break;
    if (msg.message != WM_TIMER || msg.wParam != kGpsTimerId) continue;
    if (!gpsIntake.port) tryGpsPortAgain();
    runGpsTick();
  }

  closeTrackLogAtExit();
  if (gpsIntake.port) CloseHandle(gpsIntake.port);
  gpsIntake.port = nullptr;
  return 1;
}
