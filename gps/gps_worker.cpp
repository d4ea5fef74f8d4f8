// The GPS worker thread: owns "Com1:" and a hidden window of the main
// window's class whose 500 ms timer drives the recorder's ticks. A port that
// cannot be set up at start is reported once and tried again on each tick;
// the card check runs meanwhile.
#include "gps/gps_worker.h"

#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "gps/nmea_intake.h"
#include "gps/recorder_notices.h"
#include "gps/track_log.h"
#include "platform/ce.h"
#include "res/resource_ids.h"
#include "platform/user/message_queue.h"
#include "platform/core/handles.h"

GpsWorkerState gpsWorker;

HANDLE openGpsPort(LPCWSTR* failureText) {
  HANDLE port = CreateFileW(u"Com1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  // A failed open shows up as a failed SetCommState: the invalid handle is
  // refused there. Its reason is kept for the debug output first.
  if (port == INVALID_HANDLE_VALUE) notePortFailure();
  DCB dcb = {};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = CBR_9600;
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 1;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = 0;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!SetCommState(port, &dcb)) {
    if (port != INVALID_HANDLE_VALUE) {
      notePortFailure();
      CloseHandle(port);
    }
    *failureText = u"Unable to configure the serial port";
    return nullptr;
  }
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadIntervalTimeout = MAXDWORD;  // with zero totals: return at once
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 10;
  timeouts.WriteTotalTimeoutConstant = 1000;
  if (!SetCommTimeouts(port, &timeouts)) {
    notePortFailure();
    CloseHandle(port);
    *failureText = u"Unable to set the time-out parameters";
    return nullptr;
  }
  return port;
}

namespace {

// Sets the port up into gpsWorker.port. A failure is said on the debug
// output (each new reason once) and its message text returned: the box is
// shown for the first failure only, and a port that could not be set up is
// tried again on every tick, as a receiver plugged in (or freed by the
// program that held it) would be after a replug.
LPCWSTR setUpGpsPort() {
  LPCWSTR failure = nullptr;
  gpsWorker.port = openGpsPort(&failure);
  if (!gpsWorker.port) {
    sayPortFailure();
    return failure;
  }
  notePortOpened();
  return nullptr;
}

}  // namespace

DWORD gpsWorkerThread(LPVOID) {
  if (LPCWSTR failure = setUpGpsPort()) MessageBoxW(nullptr, failure, u"Error", MB_OK);

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
    if (!gpsWorker.port) setUpGpsPort();
    runGpsTick();
  }

  closeTrackLogAtExit();
  if (gpsWorker.port) CloseHandle(gpsWorker.port);
  gpsWorker.port = nullptr;
  return 1;
}

void runGpsTick() {
  // Whatever has arrived, after the sentence the last read ended inside.
  size_t carried = placeCarriedLine(gpsWorker.readBuffer);
  DWORD got = 0;
  if (!ReadFile(gpsWorker.port, gpsWorker.readBuffer + carried,
                kReadRequestBytes - static_cast<DWORD>(carried), &got, nullptr) ||
      got > kReadRequestBytes - carried) {
    // A failed read (the receiver pulled out) breaks the sentence off: what
    // was carried cannot be continued by what comes after.
    carried = 0;
    got = 0;
  }
  // The log folder normally exists already (it is the install folder).
  CreateDirectoryW(kTrackLogFolder, nullptr);
  takeTickText(gpsWorker.readBuffer, carried + got);
  appendTrackRecords(gpsIntake.records, gpsIntake.recordCount);
  // The card check runs after the log step, whatever the log step did.
  checkCard();
}
