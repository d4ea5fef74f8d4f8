// The main window procedure: each message it handles goes to the function
// that does the work; everything else to the default procedure. The worker's
// hidden window shares this class and procedure, so a branch here acts on
// `mainWindow` when it means the screen, never on the window argument.
#include "ui/main_window_proc.h"

#include "platform/user/windows.h"
#include "ui/batch_controller.h"
#include "ui/screen_paint.h"
#include "platform/user/message_queue.h"

LRESULT mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      return 0;
    case WM_DESTROY:
      // Ends the loop of the thread that owns the window: the UI thread's
      // for the main window, the worker's for its own.
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      paintMainWindow(window);
      return 0;
    case WM_COMMAND:
      return handleCommand(window, wParam, lParam);
    case WM_TIMER:
      // Only the batch timer; the default procedure never sees a timer.
      if (wParam == kBatchTimerId) tagNextPhoto();
      return 0;
    case WM_LBUTTONDOWN:
      handleTouch(lParam);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
