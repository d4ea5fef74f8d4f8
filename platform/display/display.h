// Displays: where the screen (screen.h) is shown and where the user's touches
// and keys come from. One is chosen at start, each a driver of its own
// (display_driver.h):
//   headless  no window and no X: the screen exists only for snapshots;
//   sdl       an SDL2 window (or a device's own screen through SDL's KMSDRM
//             driver) showing the screen scaled by a whole factor, its mouse,
//             touch and keyboard delivered as the device's input.
#pragma once

#include "platform/core/ce_types.h"

struct DisplayOptions {
  const char* name = "headless";
  int scale = 1;  // sdl: each screen pixel becomes scale x scale window pixels
};

// Starts the display; false (with a line on stderr) for an unknown name or a
// display that cannot be opened. The sdl display runs on a thread of its own.
bool startDisplay(const DisplayOptions& options);
void stopDisplay();
// The running display's name; "headless" when none was started.
const char* displayName();

// How many composed frames the display has put on screen so far, and the
// screen generation (screenGeneration) of the last one; for waiting until
// what was painted is visible.
uint64_t displayPresentedGeneration();

// ---- input, as the displays and the control channel deliver it ----
// Screen coordinates. While the drawn message box is up, a tap on its OK
// button or Enter dismisses it and a tap elsewhere on the box is swallowed;
// everything else goes to the windows beneath: touches to the window in
// front (WM_LBUTTONDOWN / WM_LBUTTONUP, lParam = MAKELPARAM(x, y)), keys as
// WM_KEYDOWN / WM_KEYUP to the window keys go to (input_injection.h).
void deliverTouch(int x, int y, bool down);
void deliverKey(WORD virtualKey, bool down);
// Whether a key is held, as the keys delivered so far leave it (for the key
// state the accelerators test, Ctrl in particular).
bool displayKeyIsDown(WORD virtualKey);
// OK on the top message box, as a tap on its button, Enter and the control
// channel's `press-ok` give it: the box is dismissed and the thread waiting
// on it woken. False when no box is up.
bool pressMessageBoxOk();
