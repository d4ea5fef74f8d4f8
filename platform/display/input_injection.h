// How input reaches the program's windows from outside: the display backends
// (keyboard and touch of the SDL window) and the control channel post key
// presses and taps here, and they arrive as the device's drivers would deliver
// them, posted to the window's thread.
#pragma once

#include "platform/core/ce_types.h"

// The window keys go to: the one in front when a window is shown, otherwise
// the first top-level window the process made (the main window, even hidden,
// so that its accelerators work as on the device).
HWND keyTargetWindow();

// One key going down or up, posted as WM_KEYDOWN / WM_KEYUP to the key target.
// Returns false when there is no window to take it.
bool injectKeyEvent(WORD virtualKey, bool down);

// A whole key press: Ctrl down (when asked), the key down, the key up, Ctrl
// up. The accelerator table sees the key with Ctrl held.
bool injectKeyPress(WORD virtualKey, bool control);

// A touch at (x, y) in client coordinates: WM_LBUTTONDOWN then WM_LBUTTONUP
// with lParam MAKELPARAM(x, y), to the window in front. False when no window
// is shown (a touch on a blank screen goes nowhere).
bool injectTap(int x, int y);
