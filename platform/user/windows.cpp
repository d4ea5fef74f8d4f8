// Windows: RegisterClassW, CreateWindowExW, DestroyWindow, ShowWindow,
// UpdateWindow, SetForegroundWindow, IsWindow, IsWindowVisible, GetFocus,
// SetFocus, FindWindowW. (Invalidation and painting are paint.cpp's.)
//
// A window belongs to the thread that created it; whatever runs its procedure
// (show, update, sent messages) runs on that thread, so a worker that shows the
// main window waits until the UI thread has done it. The screen is 480 x 272
// and every top-level window made with CW_USEDEFAULT fills it.
//
// Handles are small numbers (slot and generation), never host pointers, so a
// stale handle is refused rather than followed. Remote windows (of another
// process) have handles of their own range and are handed to the transport.
//
// Not supported: child windows (WS_CHILD), menus, window extra bytes, moving
// and resizing, non-client areas, regions other than one rectangle.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/kernel/files.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/painting.h"
#include "platform/user/window_core.h"
#include "platform/core/errors.h"

namespace wincore {

namespace {

constexpr size_t kMaxWindows = 4095;
constexpr uintptr_t kLocalHandleLimit = 0x10000000u;

const WindowClass* findClassLocked(const Core& c, LPCWSTR name) {
  uintptr_t v = reinterpret_cast<uintptr_t>(name);
  if (v != 0 && v < 0x10000) {  // an atom
    for (const WindowClass& k : c.classes) {
      if (k.atom == v) return &k;
    }
    return nullptr;
  }
  if (!name) return nullptr;
  for (const WindowClass& k : c.classes) {
    if (k.name == name) return &k;
  }
  return nullptr;
}

bool matchesClass(const Core& c, const Window& w, LPCWSTR className) {
  if (!className) return true;
  uintptr_t v = reinterpret_cast<uintptr_t>(className);
  if (v < 0x10000) {
    const WindowClass* k = findClassLocked(c, className);
    return k && k->name == w.className;
  }
  return w.className == className;
}

// Another visible window to put in front when the front one goes away: the
// latest made.
HWND nextForegroundLocked(const Core& c, HWND leaving) {
  HWND best = nullptr;
  uint64_t bestOrder = 0;
  for (size_t i = 0; i < c.windows.size(); ++i) {
    const Window& w = c.windows[i];
    HWND h = handleOfSlot(c, i);
    if (!w.live || !w.visible || h == leaving || w.destroying) continue;
    if (w.createdOrder > bestOrder) {
      best = h;
      bestOrder = w.createdOrder;
    }
  }
  return best;
}

void leaveFrontLocked(Core& c, Window& w, HWND h) {
  if (c.foreground == h) c.foreground = nextForegroundLocked(c, h);
  if (w.queue && w.queue->focus == h) {
    HWND next = c.foreground;
    Window* n = windowLocked(c, next);
    w.queue->focus = (n && n->queue == w.queue) ? next : nullptr;
  }
}

}  // namespace

namespace {
std::atomic<void (*)(bool)> gShownListener{nullptr};
}  // namespace

void syncScreenShown() {
  auto listener = gShownListener.load();
  if (!listener) return;
  static std::mutex order;  // the last to publish saw the latest state
  std::lock_guard<std::mutex> serial(order);
  bool any = false;
  {
    Core& c = core();
    std::lock_guard<std::mutex> lock(c.lock);
    for (const Window& w : c.windows) any = any || (w.live && w.visible);
  }
  listener(any);
}

namespace {

LRESULT showOnOwnerThread(HWND window, int command) {
  struct SyncAfter {
    ~SyncAfter() { syncScreenShown(); }
  } syncAfter;  // runs once the lock below is released
  Core& c = core();
  std::unique_lock<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, window);
  if (!w) return FALSE;
  bool was = w->visible;
  bool show = command != SW_HIDE;
  if (was != show) {
    lock.unlock();
    callWindowProc(window, WM_SHOWWINDOW, show ? TRUE : FALSE, 0);
    lock.lock();
    w = windowLocked(c, window);
    if (!w) return was ? TRUE : FALSE;
    w->visible = show;
    if (show) {
      // A window that comes into view needs all of it painted.
      w->hasUpdate = true;
      w->eraseUpdate = true;
      w->update = clientRectLocked(*w);
      w->queue->wake.notify_all();
    } else {
      w->hasUpdate = false;
      w->eraseUpdate = false;
      leaveFrontLocked(c, *w, window);
    }
  }
  if (show) {  // showing activates
    c.foreground = window;
    w->queue->focus = window;
  }
  return was ? TRUE : FALSE;
}

LRESULT updateOnOwnerThread(HWND window) {
  {
    Core& c = core();
    std::lock_guard<std::mutex> lock(c.lock);
    Window* w = windowLocked(c, window);
    if (!w) return FALSE;
    if (!w->visible || !w->hasUpdate) return TRUE;
  }
  callWindowProc(window, WM_PAINT, 0, 0);
  return TRUE;
}

std::vector<LocalWindowInfo> listLocked(const Core& c, bool topLevelOnly) {
  std::vector<std::pair<uint64_t, LocalWindowInfo>> found;
  for (size_t i = 0; i < c.windows.size(); ++i) {
    const Window& w = c.windows[i];
    if (!w.live || w.destroying || (topLevelOnly && w.owner)) continue;
    found.push_back({w.createdOrder, LocalWindowInfo{handleOfSlot(c, i), w.className, w.title,
                                                      w.queue ? w.queue->threadId : 0}});
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<LocalWindowInfo> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

}  // namespace

HWND handleOfSlot(const Core& c, size_t slot) {
  uintptr_t v = (static_cast<uintptr_t>(c.windows[slot].generation) << 12) | (slot + 1);
  return reinterpret_cast<HWND>(v);
}

Window* windowLocked(Core& c, HWND window) {
  uintptr_t v = reinterpret_cast<uintptr_t>(window);
  if (v == 0 || v >= kLocalHandleLimit) return nullptr;
  size_t slot = (v & 0xFFF);
  if (slot == 0) return nullptr;
  slot -= 1;
  if (slot >= c.windows.size()) return nullptr;
  Window& w = c.windows[slot];
  if (!w.live || w.generation != (v >> 12)) return nullptr;
  return &w;
}

RECT clientRectLocked(const Window& w) { return RECT{0, 0, w.width, w.height}; }

}  // namespace wincore

using namespace wincore;

ATOM RegisterClassW(const WNDCLASSW* windowClass) {
  if (!windowClass || !windowClass->lpszClassName ||
      reinterpret_cast<uintptr_t>(windowClass->lpszClassName) < 0x10000 ||
      windowClass->lpszClassName[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  if (findClassLocked(c, windowClass->lpszClassName)) {
    SetLastError(ERROR_CLASS_ALREADY_EXISTS);
    return 0;
  }
  if (c.classes.size() >= 0x3FFF) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  WindowClass k;
  k.name = windowClass->lpszClassName;
  k.wc = *windowClass;
  k.wc.lpszClassName = nullptr;  // the caller's buffer may not outlive the class
  k.wc.lpszMenuName = nullptr;
  k.atom = static_cast<ATOM>(0xC000 + c.classes.size());
  c.classes.push_back(k);
  return k.atom;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  Core& c = core();
  HWND window = nullptr;
  {
    std::lock_guard<std::mutex> lock(c.lock);
    const WindowClass* k = findClassLocked(c, className);
    if (!k) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return nullptr;
    }
    if (parent && !windowLocked(c, parent)) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    size_t slot = c.windows.size();
    for (size_t i = 0; i < c.windows.size(); ++i) {
      if (!c.windows[i].live) {
        slot = i;
        break;
      }
    }
    if (slot == c.windows.size()) {
      if (slot >= kMaxWindows) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
      }
      c.windows.emplace_back();
    }
    Window& w = c.windows[slot];
    uint16_t generation = static_cast<uint16_t>(w.generation + 1);
    if (generation == 0) generation = 1;
    w = Window{};
    w.live = true;
    w.generation = generation;
    w.className = k->name;
    w.title = windowName ? windowName : u"";
    w.proc = k->wc.lpfnWndProc;
    w.classStyle = k->wc.style;
    w.style = style & ~WS_VISIBLE;
    w.owner = parent;
    w.queue = currentQueueLocked(c);
    w.width = width == CW_USEDEFAULT ? kScreenWidth : std::max(width, 0);
    w.height = width == CW_USEDEFAULT || height == CW_USEDEFAULT ? kScreenHeight
                                                                  : std::max(height, 0);
    w.createdOrder = c.nextCreatedOrder++;
    window = handleOfSlot(c, slot);
  }
  CREATESTRUCTW cs{param, instance, menu, parent, height, width, y, x,
                   static_cast<LONG>(style), windowName, className, exStyle};
  LPARAM csParam = reinterpret_cast<LPARAM>(&cs);
  if (!callWindowProc(window, WM_NCCREATE, 0, csParam)) {
    DestroyWindow(window);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (callWindowProc(window, WM_CREATE, 0, csParam) == -1) {
    DestroyWindow(window);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!IsWindow(window)) return nullptr;  // destroyed by its own creation
  {
    std::lock_guard<std::mutex> lock(c.lock);
    if (Window* w = windowLocked(c, window)) w->style |= (style & WS_VISIBLE);
  }
  if (style & WS_VISIBLE) ShowWindow(window, SW_SHOW);
  return window;
}

BOOL DestroyWindow(HWND window) {
  Core& c = core();
  std::vector<HWND> ownedHere;
  {
    std::lock_guard<std::mutex> lock(c.lock);
    Window* w = windowLocked(c, window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (w->queue != currentQueueLocked(c)) {
      SetLastError(ERROR_ACCESS_DENIED);  // only the owner thread may destroy it
      return FALSE;
    }
    if (w->destroying) return TRUE;
    w->destroying = true;
    // Owned windows of this thread go first; those of other threads outlive
    // their owner and become unowned.
    for (size_t i = 0; i < c.windows.size(); ++i) {
      Window& o = c.windows[i];
      if (!o.live || o.owner != window) continue;
      if (o.queue == w->queue) {
        ownedHere.push_back(handleOfSlot(c, i));
      } else {
        o.owner = nullptr;
      }
    }
    w = windowLocked(c, window);
    w->visible = false;
    w->hasUpdate = false;
    leaveFrontLocked(c, *w, window);
  }
  for (HWND o : ownedHere) DestroyWindow(o);
  syncScreenShown();
  callWindowProc(window, WM_DESTROY, 0, 0);
  callWindowProc(window, WM_NCDESTROY, 0, 0);
  std::lock_guard<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, window);
  if (!w) return TRUE;
  auto& timers = w->queue->timers;
  timers.erase(std::remove_if(timers.begin(), timers.end(),
                              [&](const Timer& t) { return t.window == window; }),
               timers.end());
  auto& posted = w->queue->posted;
  posted.erase(std::remove_if(posted.begin(), posted.end(),
                              [&](const MSG& m) { return m.hwnd == window; }),
               posted.end());
  if (c.foreground == window) c.foreground = nextForegroundLocked(c, window);
  if (w->queue->focus == window) w->queue->focus = nullptr;
  for (Window& o : c.windows) {
    if (o.live && o.owner == window) o.owner = nullptr;
  }
  w->live = false;
  w->queue.reset();
  w->invalidations.clear();
  w->className.clear();
  w->title.clear();
  return TRUE;
}

BOOL ShowWindow(HWND window, int showCommand) {
  return static_cast<BOOL>(
      runOnOwnerThread(window, [=] { return showOnOwnerThread(window, showCommand); }, FALSE));
}

BOOL UpdateWindow(HWND window) {
  return static_cast<BOOL>(
      runOnOwnerThread(window, [=] { return updateOnOwnerThread(window); }, FALSE));
}

BOOL SetForegroundWindow(HWND window) {
  // Only state changes hands here, and it is guarded: no need to wait for
  // the owner thread.
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  c.foreground = window;
  w->queue->focus = window;
  return TRUE;
}

BOOL IsWindow(HWND window) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  return windowLocked(c, window) ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND window) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, window);
  return w && w->visible ? TRUE : FALSE;
}

HWND GetFocus() {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> q = currentQueueLocked(c);
  if (q->focus && !windowLocked(c, q->focus)) q->focus = nullptr;
  return q->focus;
}

HWND SetFocus(HWND window) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  std::shared_ptr<ThreadQueue> q = currentQueueLocked(c);
  HWND previous = q->focus && windowLocked(c, q->focus) ? q->focus : nullptr;
  if (window) {
    Window* w = windowLocked(c, window);
    if (!w || w->queue != q) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
  }
  q->focus = window;
  return previous;
}

HWND FindWindowW(LPCWSTR className, LPCWSTR windowName) {
  Core& c = core();
  RemoteWindowBackend remote;
  {
    std::lock_guard<std::mutex> lock(c.lock);
    HWND best = nullptr;
    uint64_t bestOrder = 0;
    for (size_t i = 0; i < c.windows.size(); ++i) {
      const Window& w = c.windows[i];
      if (!w.live || w.destroying || !matchesClass(c, w, className)) continue;
      if (windowName && w.title != windowName) continue;
      if (!best || w.createdOrder < bestOrder) {
        best = handleOfSlot(c, i);
        bestOrder = w.createdOrder;
      }
    }
    if (best) return best;
    remote = c.remote;
  }
  if (remote.find) return remote.find(className, windowName);
  return nullptr;
}

HWND foregroundWindow() {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, c.foreground);
  return w && w->visible ? c.foreground : nullptr;
}

void setRemoteWindowBackend(const RemoteWindowBackend* backend) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  c.remote = backend ? *backend : RemoteWindowBackend{};
}

std::vector<LocalWindowInfo> listLocalTopLevelWindows() {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  return listLocked(c, true);
}

std::vector<LocalWindowInfo> listLocalWindows() {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  return listLocked(c, false);
}

void setWindowsShownListener(void (*listener)(bool anyShown)) {
  wincore::gShownListener.store(listener);
}
