// The process's windows as the host sees them; see process_windows.h.
#include "host/process_windows.h"

#include "platform/core/threads.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

HWND firstTopLevelWindow(int waitMs) {
  for (int waited = 0;; waited += 10) {
    std::vector<LocalWindowInfo> windows = listLocalTopLevelWindows();
    if (!windows.empty()) return windows.front().window;
    if (waited >= waitMs) return nullptr;
    Sleep(10);
  }
}

bool closeTopLevelWindows() {
  std::vector<LocalWindowInfo> windows = listLocalTopLevelWindows();
  for (const LocalWindowInfo& w : windows) postToLocalWindow(w.window, WM_CLOSE, 0, 0);
  return !windows.empty();
}

namespace {

// The windows of other threads: those of the calling thread are not pumped
// any more once it asks.
std::vector<HWND> windowsOfOtherThreads() {
  std::vector<HWND> out;
  for (const LocalWindowInfo& w : listLocalWindows())
    if (w.thread != GetCurrentThreadId()) out.push_back(w.window);
  return out;
}

}  // namespace

void closeRemainingWindows(int waitMs) {
  for (HWND w : windowsOfOtherThreads()) postToLocalWindow(w, WM_CLOSE, 0, 0);
  for (int waited = 0; waited < waitMs && !windowsOfOtherThreads().empty(); waited += 10) Sleep(10);
}
