// GDI objects: GetStockObject, CreateSolidBrush, CreateFontIndirectW,
// CreateCompatibleDC, DeleteDC, SelectObject, DeleteObject, GetObjectW, and
// the memory bitmaps behind CreateCompatibleBitmap and LoadImageW.
// On the host every object lives in one table keyed by a number that is never
// reused, so a deleted or forged handle is refused instead of followed. As on
// the device, an object still selected into a device context cannot be
// deleted (DeleteObject fails and the object stays usable). Pens are the stock
// ones only; brushes are solid or null; there are no palettes or regions.
#include "platform/gdi/gdi_objects.h"

#include <map>

#include "platform/gdi/fonts.h"
#include "platform/gdi/gdi_tables.h"

namespace {

// Handles are numbers with a tag in the high bits, so that a GDI handle, a DC
// and a small integer are never mistaken for one another.
constexpr uintptr_t kObjectTag = 0x6D000000u;
constexpr uintptr_t kDCTag = 0x6E000000u;
constexpr int kMaxBitmapSide = 8192;

struct Tables {
  std::mutex lock;
  std::map<uintptr_t, std::unique_ptr<GdiObject>> objects;
  std::map<uintptr_t, std::unique_ptr<DeviceContext>> dcs;
  uintptr_t nextObject = 1;
  uintptr_t nextDC = 1;
  HGDIOBJ stock[SYSTEM_FONT + 1] = {};
  HGDIOBJ defaultBitmap = nullptr;
};

HGDIOBJ addObjectLocked(Tables& t, std::unique_ptr<GdiObject> object) {
  uintptr_t key = kObjectTag | t.nextObject++;
  t.objects[key] = std::move(object);
  return reinterpret_cast<HGDIOBJ>(key);
}

HGDIOBJ makeStock(Tables& t, GdiKind kind, COLORREF color, bool hollow) {
  auto o = std::make_unique<GdiObject>();
  o->kind = kind;
  o->stock = true;
  o->color = color;
  o->hollow = hollow;
  return addObjectLocked(t, std::move(o));
}

Tables& tables() {
  static Tables* t = [] {
    auto* made = new Tables;
    made->stock[WHITE_BRUSH] = makeStock(*made, GdiKind::Brush, RGB(255, 255, 255), false);
    made->stock[1] = makeStock(*made, GdiKind::Brush, RGB(192, 192, 192), false);  // LTGRAY_BRUSH
    made->stock[2] = makeStock(*made, GdiKind::Brush, RGB(128, 128, 128), false);  // GRAY_BRUSH
    made->stock[3] = makeStock(*made, GdiKind::Brush, RGB(64, 64, 64), false);     // DKGRAY_BRUSH
    made->stock[BLACK_BRUSH] = makeStock(*made, GdiKind::Brush, RGB(0, 0, 0), false);
    made->stock[NULL_BRUSH] = makeStock(*made, GdiKind::Brush, 0, true);
    made->stock[WHITE_PEN] = makeStock(*made, GdiKind::Pen, RGB(255, 255, 255), false);
    made->stock[BLACK_PEN] = makeStock(*made, GdiKind::Pen, RGB(0, 0, 0), false);
    made->stock[NULL_PEN] = makeStock(*made, GdiKind::Pen, 0, true);
    auto font = std::make_unique<GdiObject>();
    font->kind = GdiKind::Font;
    font->stock = true;
    systemLogFont(&font->logFont);
    font->face = fontFaceFor(font->logFont);
    made->stock[SYSTEM_FONT] = addObjectLocked(*made, std::move(font));
    auto bitmap = std::make_unique<GdiObject>();
    bitmap->kind = GdiKind::Bitmap;
    bitmap->stock = true;
    bitmap->bitsPixel = 1;
    bitmap->surface.resize(1, 1, 0xFFFFFF);
    made->defaultBitmap = addObjectLocked(*made, std::move(bitmap));
    return made;
  }();
  return *t;
}

}  // namespace

RECT intersectRects(const RECT& a, const RECT& b) {
  RECT r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
         a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

std::mutex& gdiLock() { return tables().lock; }

GdiObject* findObject(HGDIOBJ handle) {
  auto& t = tables();
  auto it = t.objects.find(reinterpret_cast<uintptr_t>(handle));
  return it == t.objects.end() ? nullptr : it->second.get();
}

GdiObject* findObject(HGDIOBJ handle, GdiKind kind) {
  GdiObject* o = findObject(handle);
  return o && o->kind == kind ? o : nullptr;
}

DeviceContext* findDC(HDC dc) {
  auto& t = tables();
  auto it = t.dcs.find(reinterpret_cast<uintptr_t>(dc));
  return it == t.dcs.end() ? nullptr : it->second.get();
}

HGDIOBJ addObject(std::unique_ptr<GdiObject> object) {
  return addObjectLocked(tables(), std::move(object));
}

HDC addDC(std::unique_ptr<DeviceContext> dc) {
  auto& t = tables();
  uintptr_t key = kDCTag | t.nextDC++;
  t.dcs[key] = std::move(dc);
  return reinterpret_cast<HDC>(key);
}

void removeDC(HDC handle) {
  DeviceContext* dc = findDC(handle);
  if (!dc) return;
  for (HGDIOBJ h : {dc->bitmap, dc->brush, dc->pen, dc->font}) {
    if (GdiObject* o = findObject(h)) --o->selectedCount;
  }
  tables().dcs.erase(reinterpret_cast<uintptr_t>(handle));
}

HGDIOBJ stockObject(int which) {
  if (which < 0 || which > SYSTEM_FONT) return nullptr;
  return tables().stock[which];
}

HGDIOBJ stockDefaultBitmap() { return tables().defaultBitmap; }

std::unique_ptr<DeviceContext> newDefaultDC() {
  auto dc = std::make_unique<DeviceContext>();
  dc->brush = stockObject(WHITE_BRUSH);
  dc->pen = stockObject(BLACK_PEN);
  dc->font = stockObject(SYSTEM_FONT);
  for (HGDIOBJ h : {dc->brush, dc->pen, dc->font}) ++findObject(h)->selectedCount;
  return dc;
}

HBITMAP createBitmapOfSize(int width, int height, uint32_t fill) {
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide) {
    return nullptr;
  }
  auto o = std::make_unique<GdiObject>();
  o->kind = GdiKind::Bitmap;
  o->surface.resize(width, height, fill);
  std::lock_guard<std::mutex> guard(gdiLock());
  return addObject(std::move(o));
}

bool copyBitmapPixels(HBITMAP bitmap, Surface* out) {
  std::lock_guard<std::mutex> guard(gdiLock());
  GdiObject* o = findObject(bitmap, GdiKind::Bitmap);
  if (!o) return false;
  *out = o->surface;
  return true;
}

HGDIOBJ GetStockObject(int object) {
  std::lock_guard<std::mutex> guard(gdiLock());
  return stockObject(object);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto o = std::make_unique<GdiObject>();
  o->kind = GdiKind::Brush;
  o->color = color & 0x00FFFFFFu;
  std::lock_guard<std::mutex> guard(gdiLock());
  return addObject(std::move(o));
}

HFONT CreateFontIndirectW(const LOGFONTW* font) {
  if (!font) return nullptr;
  auto o = std::make_unique<GdiObject>();
  o->kind = GdiKind::Font;
  o->logFont = *font;
  o->logFont.lfFaceName[LF_FACESIZE - 1] = 0;
  std::lock_guard<std::mutex> guard(gdiLock());
  o->face = fontFaceFor(o->logFont);
  return addObject(std::move(o));
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  (void)dc;  // every surface here is 24-bit colour
  return createBitmapOfSize(width, height, 0);
}

HDC CreateCompatibleDC(HDC dc) {
  std::lock_guard<std::mutex> guard(gdiLock());
  if (dc && !findDC(dc)) return nullptr;
  auto made = newDefaultDC();
  made->bitmap = stockDefaultBitmap();
  GdiObject* b = findObject(made->bitmap);
  ++b->selectedCount;
  made->target = &b->surface;
  made->clip = RECT{0, 0, b->surface.width, b->surface.height};
  return addDC(std::move(made));
}

BOOL DeleteDC(HDC dc) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* d = findDC(dc);
  if (!d || d->window) return FALSE;  // window DCs end with EndPaint
  removeDC(dc);
  return TRUE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  std::lock_guard<std::mutex> guard(gdiLock());
  DeviceContext* d = findDC(dc);
  GdiObject* o = findObject(object);
  if (!d || !o) return nullptr;
  HGDIOBJ* slot = nullptr;
  switch (o->kind) {
    case GdiKind::Brush: slot = &d->brush; break;
    case GdiKind::Pen: slot = &d->pen; break;
    case GdiKind::Font: slot = &d->font; break;
    case GdiKind::Bitmap:
      // A bitmap goes into one memory DC at a time; the screen has no bitmap.
      if (d->window) return nullptr;
      if (o->selectedCount > 0 && d->bitmap != object && !o->stock) return nullptr;
      slot = &d->bitmap;
      break;
  }
  HGDIOBJ previous = *slot;
  if (previous == object) return previous;
  if (GdiObject* p = findObject(previous)) --p->selectedCount;
  ++o->selectedCount;
  *slot = object;
  if (o->kind == GdiKind::Bitmap) {
    d->target = &o->surface;
    d->clip = RECT{0, 0, o->surface.width, o->surface.height};
  }
  return previous;
}

BOOL DeleteObject(HGDIOBJ object) {
  std::lock_guard<std::mutex> guard(gdiLock());
  GdiObject* o = findObject(object);
  if (!o) return FALSE;
  if (o->stock) return TRUE;  // stock objects are never freed
  if (o->selectedCount > 0) return FALSE;
  tables().objects.erase(reinterpret_cast<uintptr_t>(object));
  return TRUE;
}

int GetObjectW(HGDIOBJ object, int bufferBytes, LPVOID buffer) {
  std::lock_guard<std::mutex> guard(gdiLock());
  GdiObject* o = findObject(object);
  if (!o) return 0;
  switch (o->kind) {
    case GdiKind::Bitmap: {
      if (!buffer) return sizeof(BITMAP);
      if (bufferBytes < static_cast<int>(sizeof(BITMAP))) return 0;
      BITMAP bm{};
      bm.bmType = 0;
      bm.bmWidth = o->surface.width;
      bm.bmHeight = o->surface.height;
      bm.bmWidthBytes = ((o->surface.width * o->bitsPixel + 15) / 16) * 2;
      bm.bmPlanes = 1;
      bm.bmBitsPixel = o->bitsPixel;
      bm.bmBits = nullptr;  // the pixels are the platform's, not the caller's
      *static_cast<BITMAP*>(buffer) = bm;
      return sizeof(BITMAP);
    }
    case GdiKind::Font: {
      if (!buffer) return sizeof(LOGFONTW);
      if (bufferBytes < static_cast<int>(sizeof(LOGFONTW))) return 0;
      *static_cast<LOGFONTW*>(buffer) = o->logFont;
      return sizeof(LOGFONTW);
    }
    default:
      return 0;
  }
}
