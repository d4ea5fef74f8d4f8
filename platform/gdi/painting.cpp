// Drawing (GDI): Rectangle, FillRect, StretchBlt, BitBlt, DrawTextW,
// SetTextColor, SetBkColor, SetBkMode, SetPixel, GetPixel, and the device
// contexts of windows that BeginPaint hands out.
// On the host every drawing lands in a 24-bit colour surface: a memory
// bitmap, or the screen's window layer, always clipped to the device
// context's clip (for a window, the area being painted). StretchBlt scales by
// nearest pixel and knows SRCCOPY only; negative extents (mirroring) are not
// supported. DrawTextW lays out lines as the device does: line breaks at CR,
// LF and CR LF, DT_WORDBREAK wrapping at spaces, DT_CENTER / DT_RIGHT per
// line, DT_VCENTER / DT_BOTTOM for single lines, and in OPAQUE mode each
// line drawn on its background colour. Fonts come from fonts.cpp.
#include "platform/gdi/painting.h"

#include <atomic>
#include <cstring>

#include "platform/gdi/fonts.h"
#include "platform/gdi/gdi_tables.h"

namespace {

// A rectangle in the DC's coordinates moved onto its target and clipped.
RECT toTarget(const DeviceContext& dc, const RECT& r) {
  RECT moved{r.left + dc.originX, r.top + dc.originY, r.right + dc.originX, r.bottom + dc.originY};
  return intersectRects(moved, dc.clip);
}

void fillTarget(Surface& s, const RECT& r, uint32_t pixel) {
  for (int y = r.top; y < r.bottom; ++y) {
    uint32_t* row = s.row(y);
    for (int x = r.left; x < r.right; ++x) row[x] = pixel;
  }
}

void fillLogical(DeviceContext& dc, const RECT& r, uint32_t pixel) {
  RECT t = toTarget(dc, r);
  if (!rectIsEmpty(t)) fillTarget(*dc.target, t, pixel);
}

// The colour a brush paints with, or false for a null brush.
bool brushPixel(HBRUSH brush, uint32_t* pixel) {
  GdiObject* o = findObject(brush, GdiKind::Brush);
  if (!o || o->hollow) return false;
  *pixel = pixelFromColorref(o->color);
  return true;
}

// Splits text into the lines DrawTextW draws: at CR, LF and CR LF unless
// single-line, and at spaces where a line would pass `width` when wrapping.
struct Line {
  const char16_t* text;
  size_t length;
  int width;
};

void wrapLine(FontFace* face, const char16_t* s, size_t n, int width, std::vector<Line>& out) {
  while (true) {
    int full = measureText(face, s, n);
    if (full <= width || n == 0) {
      out.push_back({s, n, full});
      return;
    }
    // The longest run of whole words that fits; a single word wider than the
    // rectangle stays whole, as on the device.
    size_t cut = 0;
    for (size_t i = 1; i < n; ++i) {
      if (s[i] == u' ' && s[i - 1] != u' ') {
        if (measureText(face, s, i) > width) break;
        cut = i;
      }
    }
    if (cut == 0) {
      for (cut = 1; cut < n && !(s[cut] == u' ' && s[cut - 1] != u' '); ++cut) {
      }
      if (cut >= n) {
        out.push_back({s, n, full});
        return;
      }
    }
    out.push_back({s, cut, measureText(face, s, cut)});
    size_t next = cut;
    while (next < n && s[next] == u' ') ++next;
    s += next;
    n -= next;
    if (n == 0) return;
  }
}

std::vector<Line> layoutLines(FontFace* face, const char16_t* text, size_t n, UINT format,
                              int width) {
  std::vector<Line> lines;
  if (format & DT_SINGLELINE) {
    // Line breaks do not break a single line; they are left out of it.
    static thread_local std::u16string joined;
    joined.clear();
    for (size_t i = 0; i < n; ++i) {
      if (text[i] != u'\r' && text[i] != u'\n') joined.push_back(text[i]);
    }
    lines.push_back({joined.data(), joined.size(), measureText(face, joined.data(), joined.size())});
    return lines;
  }
  size_t start = 0;
  for (size_t i = 0; i <= n; ++i) {
    if (i < n && text[i] != u'\r' && text[i] != u'\n') continue;
    if (format & DT_WORDBREAK) {
      wrapLine(face, text + start, i - start, width, lines);
    } else {
      lines.push_back({text + start, i - start, measureText(face, text + start, i - start)});
    }
    if (i < n && text[i] == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  return lines;
}

}  // namespace

// ---- window device contexts (the window manager's BeginPaint / EndPaint) ----

namespace {

std::atomic<Surface*> gWindowLayer{nullptr};
std::atomic<void (*)(const RECT&)> gPublishWindowArea{nullptr};

Surface& windowLayer() {
  if (Surface* offered = gWindowLayer.load()) return *offered;
  static Surface* unseen = [] {
    auto* s = new Surface;
    s->resize(kScreenWidth, kScreenHeight, 0);
    return s;
  }();
  return *unseen;
}

}  // namespace

void offerWindowSurface(Surface* layer, void (*publish)(const RECT& area)) {
  gPublishWindowArea.store(publish);
  gWindowLayer.store(layer);
}

HDC createWindowDC(HWND window, int originX, int originY, const RECT& clip) {
  std::lock_guard<std::mutex> guard(gdiLock());
  auto dc = newDefaultDC();
  dc->window = true;
  dc->hwnd = window;
  dc->target = &windowLayer();
  dc->originX = originX;
  dc->originY = originY;
  RECT onScreen{clip.left + originX, clip.top + originY, clip.right + originX, clip.bottom + originY};
  dc->clip = intersectRects(onScreen, RECT{0, 0, kScreenWidth, kScreenHeight});
  return addDC(std::move(dc));
}

void releaseWindowDC(HDC handle) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* dc = findDC(handle);
  if (!dc || !dc->window) return;
  if (auto publish = gPublishWindowArea.load()) publish(dc->clip);
  removeDC(handle);
}

// ---- attributes ----

COLORREF SetTextColor(HDC handle, COLORREF color) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* dc = findDC(handle);
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->textColor;
  dc->textColor = color & 0x00FFFFFFu;
  return previous;
}

COLORREF SetBkColor(HDC handle, COLORREF color) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* dc = findDC(handle);
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->bkColor;
  dc->bkColor = color & 0x00FFFFFFu;
  return previous;
}

int SetBkMode(HDC handle, int mode) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* dc = findDC(handle);
  if (!dc || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
  int previous = dc->bkMode;
  dc->bkMode = mode;
  return previous;
}

// ---- shapes and pixels ----

BOOL Rectangle(HDC handle, int left, int top, int right, int bottom) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* dc = findDC(handle);
  if (!dc) return FALSE;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  GdiObject* pen = findObject(dc->pen, GdiKind::Pen);
  bool outlined = pen && !pen->hollow;
  uint32_t fill;
  if (!outlined) {
    // Without a pen the figure is one pixel smaller each way, as on the device.
    if (brushPixel(dc->brush, &fill)) fillLogical(*dc, RECT{left, top, right - 1, bottom - 1}, fill);
    return TRUE;
  }
  if (right - left < 1 || bottom - top < 1) return TRUE;
  if (brushPixel(dc->brush, &fill)) {
    fillLogical(*dc, RECT{left + 1, top + 1, right - 1, bottom - 1}, fill);
  }
  uint32_t line = pixelFromColorref(pen->color);
  fillLogical(*dc, RECT{left, top, right, top + 1}, line);
  fillLogical(*dc, RECT{left, bottom - 1, right, bottom}, line);
  fillLogical(*dc, RECT{left, top, left + 1, bottom}, line);
  fillLogical(*dc, RECT{right - 1, top, right, bottom}, line);
  return TRUE;
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brush) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* dc = findDC(handle);
  uint32_t fill;
  if (!dc || !rect || !findObject(brush, GdiKind::Brush)) return 0;
  if (brushPixel(brush, &fill)) fillLogical(*dc, *rect, fill);
  return 1;
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF color) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* dc = findDC(handle);
  if (!dc) return CLR_INVALID;
  RECT t = toTarget(*dc, RECT{x, y, x + 1, y + 1});
  if (rectIsEmpty(t)) return CLR_INVALID;
  dc->target->row(t.top)[t.left] = pixelFromColorref(color);
  return color & 0x00FFFFFFu;
}

COLORREF GetPixel(HDC handle, int x, int y) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* dc = findDC(handle);
  if (!dc) return CLR_INVALID;
  int tx = x + dc->originX;
  int ty = y + dc->originY;
  const Surface& s = *dc->target;
  if (tx < 0 || ty < 0 || tx >= s.width || ty >= s.height) return CLR_INVALID;
  return colorrefFromPixel(s.row(ty)[tx]);
}

// ---- block transfers ----

BOOL StretchBlt(HDC dest, int xDest, int yDest, int wDest, int hDest, HDC src, int xSrc, int ySrc,
                int wSrc, int hSrc, DWORD rop) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* d = findDC(dest);
  DeviceContext* s = findDC(src);
  if (!d || !s || rop != SRCCOPY) return FALSE;
  if (wDest < 0 || hDest < 0 || wSrc < 0 || hSrc < 0) return FALSE;
  if (wDest == 0 || hDest == 0 || wSrc == 0 || hSrc == 0) return TRUE;
  RECT out = toTarget(*d, RECT{xDest, yDest, xDest + wDest, yDest + hDest});
  if (rectIsEmpty(out)) return TRUE;
  // Copying within one surface reads from a copy, so overlap cannot smear.
  Surface copy;
  const Surface* from = s->target;
  if (s->target == d->target) {
    copy = *s->target;
    from = &copy;
  }
  const int sx0 = xSrc + s->originX;
  const int sy0 = ySrc + s->originY;
  const int64_t W = wDest, H = hDest;
  for (int ty = out.top; ty < out.bottom; ++ty) {
    int64_t j = ty - (yDest + d->originY);
    int sy = sy0 + static_cast<int>((2 * j + 1) * hSrc / (2 * H));
    if (sy < 0 || sy >= from->height) continue;
    const uint32_t* srow = from->row(sy);
    uint32_t* drow = d->target->row(ty);
    if (wDest == wSrc) {
      // One to one across: copy the part of the row the source has.
      int first = out.left;
      int last = out.right;  // exclusive
      int sxFirst = sx0 + (first - (xDest + d->originX));
      if (sxFirst < 0) {
        first -= sxFirst;
        sxFirst = 0;
      }
      if (sxFirst + (last - first) > from->width) last = first + (from->width - sxFirst);
      if (last > first) {
        memcpy(drow + first, srow + sxFirst, static_cast<size_t>(last - first) * sizeof(uint32_t));
      }
      continue;
    }
    for (int tx = out.left; tx < out.right; ++tx) {
      int64_t i = tx - (xDest + d->originX);
      int sx = sx0 + static_cast<int>((2 * i + 1) * wSrc / (2 * W));
      if (sx >= 0 && sx < from->width) drow[tx] = srow[sx];
    }
  }
  return TRUE;
}

BOOL BitBlt(HDC dest, int x, int y, int w, int h, HDC src, int xSrc, int ySrc, DWORD rop) {
  return StretchBlt(dest, x, y, w, h, src, xSrc, ySrc, w, h, rop);
}

// ---- text ----

int DrawTextW(HDC handle, LPCWSTR text, int count, LPRECT rect, UINT format) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* dc = findDC(handle);
  if (!dc || !text || !rect) return 0;
  size_t n = 0;
  if (count < 0) {
    while (text[n]) ++n;
  } else {
    n = static_cast<size_t>(count);
  }
  GdiObject* font = findObject(dc->font, GdiKind::Font);
  FontFace* face = font ? font->face : nullptr;
  if (!face) return 0;
  const int lineHeight = fontHeight(face);
  const RECT box = *rect;
  std::vector<Line> lines = layoutLines(face, text, n, format, box.right - box.left);
  if (format & DT_CALCRECT) {
    // Only measures: the rectangle becomes the lines' extent.
    int widest = 0;
    for (const Line& line : lines) widest = line.width > widest ? line.width : widest;
    rect->right = rect->left + widest;
    rect->bottom = rect->top + lineHeight * static_cast<int>(lines.size());
    return lineHeight * static_cast<int>(lines.size());
  }

  int y = box.top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) {
      y = box.top + (box.bottom - box.top - lineHeight) / 2;
    } else if (format & DT_BOTTOM) {
      y = box.bottom - lineHeight;
    }
  }
  RECT clip = dc->clip;
  if (!(format & DT_NOCLIP)) clip = toTarget(*dc, box);
  const uint32_t ink = pixelFromColorref(dc->textColor);
  const uint32_t paper = pixelFromColorref(dc->bkColor);
  for (const Line& line : lines) {
    int x = box.left;
    if (format & DT_CENTER) {
      x = box.left + (box.right - box.left - line.width) / 2;
    } else if (format & DT_RIGHT) {
      x = box.right - line.width;
    }
    const int tx = x + dc->originX;
    const int ty = y + dc->originY;
    if (ty < clip.bottom && ty + lineHeight > clip.top) {
      if (dc->bkMode == OPAQUE) {
        RECT cell = intersectRects(RECT{tx, ty, tx + line.width, ty + lineHeight}, clip);
        if (!rectIsEmpty(cell)) fillTarget(*dc->target, cell, paper);
      }
      drawTextRun(*dc->target, clip, face, tx, ty, line.text, line.length, ink);
    }
    y += lineHeight;
  }
  return y - box.top;
}
