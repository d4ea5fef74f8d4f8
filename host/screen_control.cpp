// The screen's part of the host entry: the display and the control channel's
// `tap X Y` (a stylus touch at (X, Y), down then up; the drawn message box
// takes its own taps) and `snapshot FILE` (the screen as the user sees it,
// as a PNG file); and the waiting message box.
//
// A waiting box is modal on its own thread only: that thread runs a message
// loop beneath it, so the batch timer, paints and posted messages go on while
// it is open. It is one entry of the screen's stack of boxes, which the
// display's OK (pressMessageBoxOk) dismisses and whose thread it wakes. A quit
// message arriving meanwhile ends the box and is posted again for the loop
// outside, as CE's modal loops do.
#include "host/screen_control.h"

#include <cstdio>

#include "host/control_channel.h"
#include "platform/core/threads.h"
#include "platform/display/display.h"
#include "platform/display/screen.h"
#include "platform/user/message_queue.h"
#include "platform/user/msgbox.h"
#include "platform/user/windows.h"

namespace {

int waitingMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  int box = showScreenMessageBox(caption ? caption : u"Error", text, GetCurrentThreadId());
  // Printed once the box is open, so whoever reads the line finds it open.
  headlessMessageBox(owner, text, caption, type);
  MSG msg = {};
  bool quit = false;
  while (!screenMessageBoxDismissed(box)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      quit = got == 0;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  hideScreenMessageBox(box);
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
  return IDOK;
}

}  // namespace

std::string screenTapCommand(const std::string& arguments) {
  int x = -1, y = -1;
  char extra = 0;
  if (sscanf(arguments.c_str(), "%d %d %c", &x, &y, &extra) != 2) return "error usage: tap X Y";
  if (x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight) return "error off the screen";
  deliverTouch(x, y, true);
  deliverTouch(x, y, false);
  return "ok";
}

std::string screenSnapshotCommand(const std::string& arguments) {
  if (arguments.empty()) return "error usage: snapshot FILE";
  return saveScreenSnapshot(arguments.c_str()) ? "ok" : "error cannot write " + arguments;
}

bool startScreenDisplay(const char* displayName, int scale) {
  DisplayOptions options;
  options.name = displayName;
  options.scale = scale;
  if (!startDisplay(options)) return false;
  setControlCommand("tap", screenTapCommand);
  setControlCommand("snapshot", screenSnapshotCommand);
  return true;
}

void useWaitingMessageBoxes() { setMessageBoxBackend(waitingMessageBox); }
