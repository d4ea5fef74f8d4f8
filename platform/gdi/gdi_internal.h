// Inside the painting layer: pixel surfaces, the GDI object and device
// context tables, and what the window manager, the displays and the tools
// reach of them. Not for the program's own code, which sees only painting.h.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/gdi/painting.h"

// A block of 0x00RRGGBB pixels, rows top to bottom.
struct Surface {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;

  void resize(int w, int h, uint32_t fill) {
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), fill);
  }
  uint32_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width); }
  const uint32_t* row(int y) const {
    return pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
  }
};

inline uint32_t pixelFromColorref(COLORREF c) {
  return (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) |
         GetBValue(c);
}
inline COLORREF colorrefFromPixel(uint32_t p) {
  return RGB(static_cast<BYTE>(p >> 16), static_cast<BYTE>(p >> 8), static_cast<BYTE>(p));
}

// The intersection of two rectangles; empty (right <= left or bottom <= top)
// when they do not overlap.
RECT intersectRects(const RECT& a, const RECT& b);
inline bool rectIsEmpty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

// A memory bitmap of the given size, every pixel `fill`; NULL when the size is
// not positive or too large.
HBITMAP createBitmapOfSize(int width, int height, uint32_t fill);
// A bitmap from the bytes of a BMP file (uncompressed 24 or 32 bits per pixel,
// bottom-up or top-down); NULL when the file is not one.
HBITMAP createBitmapFromBmpFile(const uint8_t* bytes, size_t size);
// The pixels of a bitmap, copied out; false for anything that is not one.
bool copyBitmapPixels(HBITMAP bitmap, Surface* out);

// The window layer of the screen (480 x 272) the window device contexts draw
// into. Painting happens on the window's thread; what a finished paint drew is
// published for the displays by releaseWindowDC.
constexpr int kScreenWidth = 480;
constexpr int kScreenHeight = 272;

// A device context drawing on the screen for a window whose client area lies
// at (originX, originY) on the screen, clipped to `clip` (client
// coordinates). Released with releaseWindowDC, which publishes the pixels
// inside the clip.
HDC createWindowDC(HWND window, int originX, int originY, const RECT& clip);
void releaseWindowDC(HDC dc);

// The screen, in the display family above this one, offers at start-up the
// surface window device contexts draw into and what publishes an area of it
// when a window's paint ends. Until it does, they draw into a surface of their
// own that nothing shows.
void offerWindowSurface(Surface* layer, void (*publish)(const RECT& area));
