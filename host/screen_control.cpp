// The screen's part of the host entry: the display and the control channel's
// `tap X Y` (a stylus touch at (X, Y), down then up; the drawn message box
// takes its own taps) and `snapshot FILE` (the screen as the user sees it,
// as a PNG file).
#include "host/screen_control.h"

#include <cstdio>

#include "host/control_channel.h"
#include "platform/display/display.h"
#include "platform/display/screen.h"


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
