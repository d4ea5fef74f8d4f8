// The choice of display, and the routing of input between the drawn message
// box and the windows. Until a display is started, and again once it stops,
// the headless one stands in, so there is always a display to ask.
#include "platform/display/display.h"

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/host_calls.h"

#include "platform/display/display_driver.h"
#include "platform/display/input_injection.h"
#include "platform/display/screen.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

namespace {

void closeProgram() { hostCalls().kill(hostCalls().getpid(), SIGTERM); }

// What every driver reaches the program through.
const DisplayHostSide kHostSide = {screenGeneration, composeScreen, deliverTouch, deliverKey,
                                   closeProgram};

struct DriverChoice {
  const char* name;
  MakeDisplayFn make;
  bool scaled;  // whether --scale means anything to it
};
const DriverChoice kDrivers[] = {
    {"headless", makeHeadlessDisplay, false},
    {"sdl", makeSdlDisplay, true},
};

// The display that stands in while none is started; never deleted.
DisplayDriver* standIn() {
  static DisplayDriver* const headless = makeHeadlessDisplay(&kHostSide, 1);
  return headless;
}
std::atomic<DisplayDriver*>& shown() {
  static std::atomic<DisplayDriver*> driver{standIn()};
  return driver;
}
// A touch the box took: its lift is the box's too, not the window's beneath.
std::atomic<bool> liftTaken{false};
std::atomic<bool> keysDown[256];

}  // namespace

bool startDisplay(const DisplayOptions& options) {
  if (shown().load() != standIn()) return false;  // one display at a time
  const char* name = options.name ? options.name : "headless";
  const DriverChoice* choice = nullptr;
  for (const DriverChoice& d : kDrivers) {
    if (!strcmp(name, d.name)) choice = &d;
  }
  if (!choice) {
    fprintf(stderr, "vellumtrace: unknown display '%s'\n", name);
    return false;
  }
  if (choice->scaled && (options.scale < 1 || options.scale > 8)) {
    fprintf(stderr, "vellumtrace: the scale must be 1 to 8, not %d\n", options.scale);
    return false;
  }
  DisplayDriver* driver = choice->make(&kHostSide, options.scale);
  if (!driver || !driver->start()) {
    delete driver;
    return false;
  }
  shown().store(driver);
  // A display's thread must be done with it (SDL) before the process ends.
  static bool once = [] { return atexit(stopDisplay) == 0; }();
  (void)once;
  return true;
}

void stopDisplay() {
  DisplayDriver* driver = shown().exchange(standIn());
  if (driver == standIn()) return;
  driver->stop();
  delete driver;
}

const char* displayName() { return shown().load()->name(); }

uint64_t displayPresentedGeneration() { return shown().load()->presentedGeneration(); }

void deliverTouch(int x, int y, bool down) {
  if (!down && liftTaken.exchange(false)) return;
  if (down && screenMessageBoxContains(x, y)) {
    // The box takes its own taps; one on OK dismisses it.
    liftTaken.store(true);
    if (screenMessageBoxHitsOk(x, y)) pressMessageBoxOk();
    return;
  }
  // The window in front takes the touch; windows fill the screen from its
  // origin, so screen and client coordinates agree.
  HWND target = foregroundWindow();
  if (!target) return;  // a touch on the bare desktop goes nowhere
  PostMessageW(target, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? 1 : 0,
               MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
}

bool displayKeyIsDown(WORD virtualKey) { return virtualKey < 256 && keysDown[virtualKey].load(); }

void deliverKey(WORD virtualKey, bool down) {
  if (virtualKey < 256) keysDown[virtualKey].store(down);
  if (virtualKey == VK_RETURN && screenMessageBoxShown()) {
    if (down) pressMessageBoxOk();
    return;
  }
  injectKeyEvent(virtualKey, down);
}

bool pressMessageBoxOk() {
  DWORD waiting = 0;
  if (!dismissTopScreenMessageBox(&waiting)) return false;
  // The thread whose box loop is waiting must wake up to see the dismissal.
  if (waiting) PostThreadMessageW(waiting, WM_NULL, 0, 0);
  return true;
}
