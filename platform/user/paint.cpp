// Invalidation and painting of windows: InvalidateRect, GetClientRect,
// BeginPaint, EndPaint.
//
// A window has an update rectangle: the union of what was invalidated while it
// was visible, clipped to the client area. BeginPaint hands it over and
// empties it; the device context comes from the painting family through a
// hook, so that a display or a test can draw elsewhere. Every call is logged
// per window (windowInvalidationLog), so tests can check what a step asked to
// repaint. Not supported: regions other than one rectangle, ValidateRect,
// child windows' clipping.
#include "platform/user/paint.h"

#include <algorithm>
#include <cstring>

#include "platform/core/errors.h"
#include "platform/gdi/gdi_internal.h"
#include "platform/user/window_core.h"

using namespace wincore;

namespace {

constexpr size_t kMaxInvalidationLog = 4096;

RECT unite(const RECT& a, const RECT& b) {
  return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

}  // namespace

// Every window fills the screen, so its client area lies at the origin.
__attribute__((weak)) HDC paintingBeginWindowDC(HWND window, const RECT& clip) {
  return createWindowDC(window, 0, 0, clip);
}
__attribute__((weak)) void paintingEndWindowDC(HWND, HDC dc) { releaseWindowDC(dc); }


BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  auto invalidate = [&](Window& w) {
    RECT client = clientRectLocked(w);
    RECT asked = rect ? *rect : client;
    if (w.invalidations.size() >= kMaxInvalidationLog) {
      w.invalidations.erase(w.invalidations.begin(),
                            w.invalidations.begin() + kMaxInvalidationLog / 2);
    }
    w.invalidations.push_back(asked);
    if (!w.visible) return;  // nothing of a hidden window is on screen
    RECT r = intersectRects(asked, client);
    if (rectIsEmpty(r)) return;
    w.update = w.hasUpdate ? unite(w.update, r) : r;
    w.hasUpdate = true;
    if (erase) w.eraseUpdate = true;
    w.queue->wake.notify_all();
  };
  if (window == nullptr) {
    for (Window& w : c.windows) {
      if (w.live) invalidate(w);
    }
    return TRUE;
  }
  Window* w = windowLocked(c, window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  invalidate(*w);
  return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, window);
  if (!w || !rect) {
    SetLastError(w ? ERROR_INVALID_PARAMETER : ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  *rect = clientRectLocked(*w);
  return TRUE;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  if (!paint) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  RECT area{0, 0, 0, 0};
  bool erase = false;
  {
    Core& c = core();
    std::lock_guard<std::mutex> lock(c.lock);
    Window* w = windowLocked(c, window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return nullptr;
    }
    if (w->hasUpdate) area = w->update;
    erase = w->eraseUpdate;
    w->hasUpdate = false;
    w->eraseUpdate = false;
  }
  std::memset(paint, 0, sizeof *paint);
  paint->rcPaint = area;
  paint->hdc = paintingBeginWindowDC(window, area);
  paint->fErase = erase ? TRUE : FALSE;
  if (erase && paint->hdc &&
      callWindowProc(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0)) {
    paint->fErase = FALSE;
  }
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (paint && paint->hdc) paintingEndWindowDC(window, paint->hdc);
  return TRUE;
}

bool windowUpdateRect(HWND window, RECT* rect) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, window);
  if (!w || !w->hasUpdate) return false;
  if (rect) *rect = w->update;
  return true;
}

std::vector<RECT> windowInvalidationLog(HWND window) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  Window* w = windowLocked(c, window);
  return w ? w->invalidations : std::vector<RECT>{};
}

void clearWindowInvalidationLog(HWND window) {
  Core& c = core();
  std::lock_guard<std::mutex> lock(c.lock);
  if (Window* w = windowLocked(c, window)) w->invalidations.clear();
}

