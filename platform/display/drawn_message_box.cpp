// MessageBoxW's drawn box on a screen: shown over the screen and modal on the
// calling thread, whose messages keep being dispatched beneath it.
#include "platform/display/drawn_message_box.h"

#include <atomic>

#include "platform/display/display.h"
#include "platform/display/display_driver.h"
#include "platform/user/msgbox.h"
#include "platform/display/screen.h"
#include "platform/core/threads.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

namespace {

std::atomic<DWORD> boxThread{0};

// A dismissal from another thread posts a null message to wake the loop.
void wakeBoxThread() {
  DWORD thread = boxThread.load();
  if (thread) PostThreadMessageW(thread, WM_NULL, 0, 0);
}

}  // namespace

int runScreenMessageBox(LPCWSTR text, LPCWSTR caption) {
  int id = showScreenMessageBox(caption ? caption : u"Error", text);
  setMessageBoxWaker(wakeBoxThread);
  DWORD outer = boxThread.exchange(GetCurrentThreadId());
  MSG msg;
  while (!screenMessageBoxDismissed(id)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  boxThread.store(outer);
  hideScreenMessageBox(id);
  return IDOK;
}

int drawnMessageBoxBackend(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  headlessMessageBox(owner, text, caption, type);
  return runScreenMessageBox(text, caption);
}
