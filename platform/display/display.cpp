// The choice of display, and the routing of input between the drawn message
// box and the windows.
// The headless display is no more than the screen itself: it needs no X and
// no SDL, and shows itself only through snapshots.
#include "platform/display/display.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/display/display_driver.h"
#include "platform/display/input_injection.h"
#include "platform/display/screen.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

namespace {

std::atomic<DisplayDriver*> running{nullptr};
// A touch the box took: its lift is the box's too, not the window's beneath.
std::atomic<bool> liftTaken{false};
std::atomic<bool> keysDown[256];

}  // namespace

bool startDisplay(const DisplayOptions& options) {
  if (running.load()) return false;
  const char* name = options.name ? options.name : "headless";
  if (!strcmp(name, "headless")) return true;
  if (!strcmp(name, "sdl")) {
    if (options.scale < 1 || options.scale > 8) {
      fprintf(stderr, "vellumtrace: the scale must be 1 to 8, not %d\n", options.scale);
      return false;
    }
    DisplayDriver* driver = makeSdlDisplay(options.scale);
    if (!driver || !driver->start()) {
      delete driver;
      return false;
    }
    running.store(driver);
    // The display's thread must be done with SDL before the process ends.
    static bool once = [] { return atexit(stopDisplay) == 0; }();
    (void)once;
    return true;
  }
  fprintf(stderr, "vellumtrace: unknown display '%s'\n", name);
  return false;
}

void stopDisplay() {
  DisplayDriver* driver = running.exchange(nullptr);
  if (!driver) return;
  driver->stop();
  delete driver;
}

const char* displayName() {
  DisplayDriver* driver = running.load();
  return driver ? driver->name() : "headless";
}

uint64_t displayPresentedGeneration() {
  DisplayDriver* driver = running.load();
  return driver ? driver->presentedGeneration() : screenGeneration();
}

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
