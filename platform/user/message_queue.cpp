// Message queues: GetMessageW, PeekMessageW, PostMessageW, PostThreadMessageW,
// SendMessageW, PostQuitMessage, TranslateMessage, DispatchMessageW,
// DefWindowProcW.
//
// Each thread gets a queue the first time it needs one. A queue holds the
// posted messages, the messages other threads have sent to its windows, the
// quit flag and the thread's timers. WM_PAINT and WM_TIMER are never queued:
// like the desktop systems, the queue makes them when it is asked for a
// message and nothing posted is waiting, from the windows' update regions and
// the timers' due times. So a slow consumer never sees a burst of ticks, and
// painting follows input.
//
// Waiting is a condition-variable wait bounded by the next timer due: an idle
// thread takes no CPU. A sent message runs on the thread that owns the window,
// inside that thread's GetMessageW / PeekMessageW (or while it is itself
// waiting for a send), and its sender answers the messages sent to it while it
// waits, so two threads sending to each other never deadlock.
//
// WM_QUIT is a thread state, not a window's message: GetMessageW returns it
// (result 0) whatever window or message range it was asked for, once no posted
// message that matches is waiting. A loop that fetches only its own window's
// messages therefore still ends when its thread is told to quit.
//
// Not supported: HWND_BROADCAST, SendMessageW to another process's window,
// message hooks, PM_NOYIELD and the QS_* filters.
#include <algorithm>
#include <optional>

#include "platform/kernel/files.h"
#include "platform/core/threads.h"
#include "platform/user/window_core.h"
#include "platform/core/errors.h"

namespace wincore {

namespace {

constexpr size_t kMaxPostedMessages = 10000;  // the desktop systems' quota
constexpr DWORD kErrorNotEnoughQuota = 1816;
constexpr DWORD kErrorInvalidThreadId = 1444;

// The thread's queue. Retired when the thread ends, whichever way it ends.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (queue) retireCurrentThreadQueue();
  }
};
thread_local QueueHolder tQueue;

bool inRange(UINT message, UINT lo, UINT hi) {
  if (lo == 0 && hi == 0) return true;
  return message >= lo && message <= hi;
}

HWND const kThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

bool matchesWindow(HWND messageWindow, HWND filter) {
  if (filter == nullptr) return true;
  if (filter == kThreadMessagesOnly) return messageWindow == nullptr;
  return messageWindow == filter;
}

void noteKeyState(ThreadQueue& q, const MSG& m) {
  if (m.message != WM_KEYDOWN && m.message != WM_KEYUP) return;
  bool down = m.message == WM_KEYDOWN;
  if (m.wParam == VK_CONTROL) q.controlDown = down;
  if (m.wParam == 0x10) q.shiftDown = down;  // VK_SHIFT
  if (m.wParam == 0x12) q.altDown = down;    // VK_MENU
}

void stamp(MSG* m) {
  m->time = GetTickCount();
  m->pt = POINT{0, 0};
}

enum class Found { Nothing, Message, Quit };

// One look at the queue, in the order the desktop systems use: posted
// messages, then the quit flag, then paints, then timers.
Found findMessageLocked(Core& c, ThreadQueue& q, HWND filter, UINT lo, UINT hi, bool remove,
                        MSG* out) {
  for (auto it = q.posted.begin(); it != q.posted.end();) {
    if (it->hwnd != nullptr && windowLocked(c, it->hwnd) == nullptr) {
      it = q.posted.erase(it);  // its window is gone
      continue;
    }
    if (matchesWindow(it->hwnd, filter) && inRange(it->message, lo, hi)) {
      *out = *it;
      if (remove) {
        q.posted.erase(it);
        noteKeyState(q, *out);
      }
      return Found::Message;
    }
    ++it;
  }
  if (q.quitPending) {
    *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, 0, {}};
    stamp(out);
    if (remove) q.quitPending = false;
    return Found::Quit;
  }
  if (inRange(WM_PAINT, lo, hi)) {
    // The earliest-made window first, so the order does not depend on slots.
    const Window* best = nullptr;
    size_t bestSlot = 0;
    for (size_t i = 0; i < c.windows.size(); ++i) {
      const Window& w = c.windows[i];
      if (!w.live || w.queue.get() != &q || !w.visible || !w.hasUpdate) continue;
      HWND h = handleOfSlot(c, i);
      if (!matchesWindow(h, filter)) continue;
      if (!best || w.createdOrder < best->createdOrder) {
        best = &w;
        bestSlot = i;
      }
    }
    if (best) {
      *out = MSG{handleOfSlot(c, bestSlot), WM_PAINT, 0, 0, 0, {}};
      stamp(out);
      return Found::Message;
    }
  }
  if (inRange(WM_TIMER, lo, hi)) {
    auto now = Clock::now();
    Timer* due = nullptr;
    for (Timer& t : q.timers) {
      if (t.due > now || !matchesWindow(t.window, filter)) continue;
      if (!due || t.due < due->due) due = &t;
    }
    if (due) {
      *out = MSG{due->window, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), 0, {}};
      stamp(out);
      if (remove) {
        // Missed periods are dropped, not made up: the next tick is due one
        // period after this one was, or one period from now if that has
        // passed too.
        auto period = std::chrono::milliseconds(due->periodMs);
        due->due += period;
        if (due->due <= now) due->due = now + period;
      }
      return Found::Message;
    }
  }
  return Found::Nothing;
}

std::optional<Clock::time_point> nextTimerDueLocked(const ThreadQueue& q) {
  std::optional<Clock::time_point> next;
  for (const Timer& t : q.timers) {
    if (!next || t.due < *next) next = t.due;
  }
  return next;
}

// The window filter must name a live window of the calling thread.
bool validFilterLocked(Core& c, const ThreadQueue& q, HWND filter) {
  if (filter == nullptr || filter == kThreadMessagesOnly) return true;
  const Window* w = windowLocked(c, filter);
  return w && w->queue.get() == &q;
}

}  // namespace

Core& core() {
  static Core* instance = new Core;
  return *instance;
}

std::shared_ptr<ThreadQueue> currentQueueLocked(Core& c) {
  if (!tQueue.queue) {
    auto q = std::make_shared<ThreadQueue>();
    q->threadId = GetCurrentThreadId();
    c.queues.push_back(q);
    tQueue.queue = q;
  }
  return tQueue.queue;
}

std::shared_ptr<ThreadQueue> queueOfThreadLocked(Core& c, DWORD threadId) {
  for (auto& q : c.queues) {
    if (q->threadId == threadId && q->alive) return q;
  }
  return nullptr;
}

void wakeAllLocked(Core& c) {
  for (auto& q : c.queues) q->wake.notify_all();
}

bool runSentMessagesLocked(Core& c, ThreadQueue& q, std::unique_lock<std::mutex>& held) {
  (void)c;
  bool ran = false;
  while (!q.sent.empty()) {
    std::shared_ptr<SentMessage> s = q.sent.front();
    q.sent.pop_front();
    held.unlock();
    LRESULT result = s->task();
    held.lock();
    s->result = result;
    s->done = true;
    if (s->sender) s->sender->wake.notify_all();
    ran = true;
  }
  return ran;
}

LRESULT runOnOwnerThread(HWND window, std::function<LRESULT()> task, LRESULT failed) {
  Core& c = core();
  std::unique_lock<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return failed;
  }
  std::shared_ptr<ThreadQueue> me = currentQueueLocked(c);
  std::shared_ptr<ThreadQueue> owner = w->queue;
  if (owner == me) {
    lock.unlock();
    return task();
  }
  if (!owner->alive) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return failed;
  }
  auto s = std::make_shared<SentMessage>();
  s->task = std::move(task);
  s->sender = me;
  owner->sent.push_back(s);
  owner->wake.notify_all();
  while (!s->done) {
    if (runSentMessagesLocked(c, *me, lock)) continue;
    me->wake.wait(lock);
  }
  return s->result;
}

LRESULT callWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    Core& c = core();
    std::lock_guard<std::mutex> lock(c.lock);
    Window* w = windowLocked(c, window);
    if (!w) return 0;
    proc = w->proc;
  }
  if (!proc) return DefWindowProcW(window, message, wParam, lParam);
  return proc(window, message, wParam, lParam);
}

void retireCurrentThreadQueue() {
  struct SyncAfter {
    ~SyncAfter() { syncScreenShown(); }
  } syncAfter;  // runs once the lock below is released
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> q = tQueue.queue;
  if (!q) return;
  tQueue.queue.reset();
  q->alive = false;
  for (size_t i = 0; i < c.windows.size(); ++i) {
    Window& w = c.windows[i];
    if (!w.live || w.queue != q) continue;
    HWND h = handleOfSlot(c, i);
    w.live = false;
    w.queue.reset();
    w.invalidations.clear();
    if (c.foreground == h) c.foreground = nullptr;
    for (Window& other : c.windows) {
      if (other.live && other.owner == h) other.owner = nullptr;
    }
  }
  q->timers.clear();
  q->posted.clear();
  for (auto& s : q->sent) {
    s->done = true;
    s->result = 0;
    if (s->sender) s->sender->wake.notify_all();
  }
  q->sent.clear();
  c.queues.erase(std::remove(c.queues.begin(), c.queues.end(), q), c.queues.end());
  wakeAllLocked(c);
}

namespace {

// WaitForSingleObject's wait (the core family's threads call it through the
// hooks registered below): the waiter's own queue wakes it for either the end
// it waits for or a message sent to it.
bool waitAnsweringSentMessages(bool (*finished)(const void* context), const void* context,
                               DWORD milliseconds) {
  Core& c = core();
  std::unique_lock<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> me = currentQueueLocked(c);
  auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (!finished(context)) {
    if (runSentMessagesLocked(c, *me, lock)) continue;
    if (milliseconds == INFINITE) {
      me->wake.wait(lock);
    } else if (me->wake.wait_until(lock, deadline) == std::cv_status::timeout &&
               !finished(context) && me->sent.empty()) {
      return false;
    }
  }
  return true;
}

void wakeAllWaiters() {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  wakeAllLocked(c);
}

const ThreadWaitHooks kThreadWaitHooks{waitAnsweringSentMessages, wakeAllWaiters,
                                       retireCurrentThreadQueue};
// Registered while the program starts, before any thread can wait.
[[maybe_unused]] const bool gThreadWaitHooksSet = (setThreadWaitHooks(&kThreadWaitHooks), true);

}  // namespace

}  // namespace wincore

using namespace wincore;

bool currentThreadHasQueue() {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  return static_cast<bool>(tQueue.queue);
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  Core& c = core();
  std::unique_lock<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> q = currentQueueLocked(c);
  for (;;) {
    runSentMessagesLocked(c, *q, lock);
    // A sent message may have destroyed the window asked for.
    if (!validFilterLocked(c, *q, window)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return -1;
    }
    Found f = findMessageLocked(c, *q, window, filterMin, filterMax, true, msg);
    // WM_QUIT ends a loop however it came: the quit flag or a post.
    if (f == Found::Message) return msg->message == WM_QUIT ? FALSE : TRUE;
    if (f == Found::Quit) return FALSE;
    if (!q->sent.empty()) continue;
    auto due = nextTimerDueLocked(*q);
    if (due) {
      q->wake.wait_until(lock, *due);
    } else {
      q->wake.wait(lock);
    }
  }
}

BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg) {
  if (!msg) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Core& c = core();
  std::unique_lock<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> q = currentQueueLocked(c);
  runSentMessagesLocked(c, *q, lock);
  if (!validFilterLocked(c, *q, window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  Found f = findMessageLocked(c, *q, window, filterMin, filterMax, (removeMsg & PM_REMOVE) != 0, msg);
  return f != Found::Nothing ? TRUE : FALSE;
}

namespace {

BOOL postLocked(Core& c, ThreadQueue& q, HWND window, UINT message, WPARAM wParam,
                LPARAM lParam) {
  if (!q.alive) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (q.posted.size() >= kMaxPostedMessages) {
    SetLastError(kErrorNotEnoughQuota);
    return FALSE;
  }
  MSG m{window, message, wParam, lParam, 0, {}};
  stamp(&m);
  q.posted.push_back(m);
  q.wake.notify_all();
  (void)c;
  return TRUE;
}

}  // namespace

BOOL postToLocalWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  return postLocked(c, *w->queue, window, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Core& c = core();
  if (isRemoteWindowHandle(window)) {
    RemoteWindowBackend remote;
    {
      std::lock_guard<std::mutex> lock(c.lock);
      remote = c.remote;
    }
    if (!remote.post) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    return remote.post(window, message, wParam, lParam);
  }
  if (window == nullptr) {
    // A thread message to the calling thread, as the desktop systems do.
    std::lock_guard<std::mutex> lock(c.lock);
    return postLocked(c, *currentQueueLocked(c), nullptr, message, wParam, lParam);
  }
  return postToLocalWindow(window, message, wParam, lParam);
}

BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> q = queueOfThreadLocked(c, threadId);
  if (!q && threadId == GetCurrentThreadId()) q = currentQueueLocked(c);
  if (!q) {
    SetLastError(kErrorInvalidThreadId);
    return FALSE;
  }
  return postLocked(c, *q, nullptr, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> q = currentQueueLocked(c);
  q->quitPending = true;
  q->quitCode = exitCode;
  q->wake.notify_all();
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (isRemoteWindowHandle(window)) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
  }
  return runOnOwnerThread(
      window, [=] { return callWindowProc(window, message, wParam, lParam); }, 0);
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg || msg->message != WM_KEYDOWN) return FALSE;
  WPARAM vk = msg->wParam;
  WCHAR ch = 0;
  bool ctrl = false;
  bool shift = false;
  {
    Core& c = core();
    std::lock_guard<std::mutex> lock(c.lock);
    std::shared_ptr<ThreadQueue> q = currentQueueLocked(c);
    ctrl = q->controlDown;
    shift = q->shiftDown;
  }
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl) {
      ch = static_cast<WCHAR>(vk - 'A' + 1);  // the control characters
    } else {
      ch = static_cast<WCHAR>(shift ? vk : vk - 'A' + 'a');
    }
  } else if ((vk >= '0' && vk <= '9') || vk == ' ') {
    ch = static_cast<WCHAR>(vk);
  } else if (vk == VK_RETURN) {
    ch = u'\r';
  } else if (vk == VK_ESCAPE) {
    ch = 0x1B;
  } else if (vk == 0x08) {  // VK_BACK
    ch = 0x08;
  }
  if (ch) PostMessageW(msg->hwnd, WM_CHAR, ch, msg->lParam);
  return TRUE;
}

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;  // thread messages have no procedure
  HWND window = msg->hwnd;
  UINT message = msg->message;
  WPARAM wParam = msg->wParam;
  LPARAM lParam = msg->lParam;
  return runOnOwnerThread(
      window,
      [=] {
        LRESULT r = callWindowProc(window, message, wParam, lParam);
        if (message == WM_PAINT) {
          // A procedure that did not validate would be asked to paint again
          // at once, forever: validate for it.
          Core& c = core();
          std::lock_guard<std::mutex> lock(c.lock);
          if (Window* w = windowLocked(c, window)) w->hasUpdate = false;
        }
        return r;
      },
      0);
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  (void)lParam;
  switch (message) {
    case WM_NCCREATE:
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_PAINT: {
      Core& c = core();
      std::lock_guard<std::mutex> lock(c.lock);
      if (Window* w = windowLocked(c, window)) w->hasUpdate = false;
      return 0;
    }
    default:
      return 0;
  }
}
