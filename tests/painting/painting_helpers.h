// Helpers for the painting tests: a memory DC over a fresh bitmap, and pixel
// counts over regions of a surface.
#pragma once

#include <functional>

#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/painting.h"
#include "platform/gdi/gdi_objects.h"

// A memory device context with a width x height bitmap selected, filled with
// `fill`; everything released when it goes.
class MemoryCanvas {
 public:
  MemoryCanvas(int width, int height, COLORREF fill = RGB(255, 255, 255)) {
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = createBitmapOfSize(width, height, pixelFromColorref(fill));
    old_ = SelectObject(dc_, bitmap_);
  }
  ~MemoryCanvas() {
    SelectObject(dc_, old_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  MemoryCanvas(const MemoryCanvas&) = delete;
  MemoryCanvas& operator=(const MemoryCanvas&) = delete;
  HDC dc() const { return dc_; }
  HBITMAP bitmap() const { return bitmap_; }
  Surface pixels() const {
    Surface s;
    copyBitmapPixels(bitmap_, &s);
    return s;
  }

 private:
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

// Pixels inside r (clipped to the surface) for which `pred` holds.
inline int countPixels(const Surface& s, RECT r, const std::function<bool(uint32_t)>& pred) {
  r = intersectRects(r, RECT{0, 0, s.width, s.height});
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) n += pred(s.row(y)[x]) ? 1 : 0;
  }
  return n;
}
inline int countColour(const Surface& s, RECT r, COLORREF c) {
  uint32_t p = pixelFromColorref(c);
  return countPixels(s, r, [p](uint32_t v) { return v == p; });
}
inline int countNot(const Surface& s, RECT r, COLORREF c) {
  uint32_t p = pixelFromColorref(c);
  return countPixels(s, r, [p](uint32_t v) { return v != p; });
}
inline int area(const RECT& r) { return (r.right - r.left) * (r.bottom - r.top); }
