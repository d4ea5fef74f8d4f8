// Injected input: key presses and taps posted to the window they are meant for.
#include "platform/display/input_injection.h"

#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

HWND keyTargetWindow() {
  if (HWND front = foregroundWindow()) return front;
  std::vector<LocalWindowInfo> top = listLocalTopLevelWindows();
  return top.empty() ? nullptr : top.front().window;
}

bool injectKeyEvent(WORD virtualKey, bool down) {
  HWND target = keyTargetWindow();
  if (!target) return false;
  // lParam as the keyboard driver fills it: repeat count 1; for a release the
  // previous-state and transition bits.
  LPARAM lParam = down ? 1 : static_cast<LPARAM>(0xC0000001u);
  return PostMessageW(target, down ? WM_KEYDOWN : WM_KEYUP, virtualKey, lParam) != FALSE;
}

bool injectKeyPress(WORD virtualKey, bool control) {
  HWND target = keyTargetWindow();
  if (!target) return false;
  bool ok = true;
  auto post = [&](UINT message, WORD key) {
    LPARAM lParam = message == WM_KEYDOWN ? 1 : static_cast<LPARAM>(0xC0000001u);
    ok = PostMessageW(target, message, key, lParam) != FALSE && ok;
  };
  if (control) post(WM_KEYDOWN, VK_CONTROL);
  post(WM_KEYDOWN, virtualKey);
  post(WM_KEYUP, virtualKey);
  if (control) post(WM_KEYUP, VK_CONTROL);
  return ok;
}

bool injectTap(int x, int y) {
  HWND target = foregroundWindow();
  if (!target || x < 0 || y < 0 || x > 0xFFFF || y > 0xFFFF) return false;
  LPARAM at = MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
  bool down = PostMessageW(target, WM_LBUTTONDOWN, 1, at) != FALSE;  // MK_LBUTTON
  bool up = PostMessageW(target, WM_LBUTTONUP, 0, at) != FALSE;
  return down && up;
}
