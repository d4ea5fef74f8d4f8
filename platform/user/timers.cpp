// Timers: SetTimer and KillTimer.
//
// A timer lives in the message queue of the thread that owns its window (or of
// the calling thread, for a timer without a window). It is only a due time:
// the queue makes the WM_TIMER message when asked for a message and the time
// has come, so at most one tick of a timer is ever waiting, and ticks missed by
// a busy thread are dropped rather than delivered in a burst. The queue's wait
// ends at the next due time, so no thread polls.
//
// Not supported: coalescing tolerances (SetCoalescableTimer).
#include <algorithm>

#include "platform/kernel/files.h"
#include "platform/user/window_core.h"
#include "platform/core/errors.h"

using namespace wincore;

namespace {
constexpr UINT kMinimumPeriodMs = 10;  // as the desktop systems clamp it
constexpr UINT kMaximumPeriodMs = 0x7FFFFFFF;
constexpr DWORD kErrorInvalidTimer = 1402;  // ERROR_INVALID_TIMER_HANDLE
}  // namespace

uintptr_t SetTimer(HWND window, uintptr_t idEvent, UINT elapseMs, TIMERPROC timerProc) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> q;
  if (window) {
    Window* w = windowLocked(c, window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    q = w->queue;
  } else {
    q = currentQueueLocked(c);
  }
  UINT period = std::clamp(elapseMs, kMinimumPeriodMs, kMaximumPeriodMs);
  auto due = Clock::now() + std::chrono::milliseconds(period);
  for (Timer& t : q->timers) {
    if (t.window == window && t.id == idEvent && (window || idEvent != 0)) {
      // Arming an armed timer starts its period again.
      t.periodMs = period;
      t.proc = timerProc;
      t.due = due;
      q->wake.notify_all();
      return window ? (idEvent ? idEvent : 1) : idEvent;
    }
  }
  uintptr_t id = idEvent;
  if (!window) {
    id = c.nextThreadTimerId++;
    if (c.nextThreadTimerId == 0) c.nextThreadTimerId = 1;
  }
  q->timers.push_back(Timer{window, id, period, timerProc, due});
  q->wake.notify_all();
  return window ? (id ? id : 1) : id;
}

BOOL KillTimer(HWND window, uintptr_t idEvent) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> q;
  if (window) {
    Window* w = windowLocked(c, window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    q = w->queue;
  } else {
    q = currentQueueLocked(c);
  }
  auto& timers = q->timers;
  auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) {
    return t.window == window && t.id == idEvent;
  });
  if (it == timers.end()) {
    SetLastError(kErrorInvalidTimer);
    return FALSE;
  }
  timers.erase(it);
  return TRUE;
}
