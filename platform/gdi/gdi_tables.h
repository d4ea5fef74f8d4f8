// The GDI object and device context tables, shared by gdi_objects.cpp (which
// creates, selects and deletes) and painting.cpp (which draws). Everything
// here is used with gdiLock() held.
#pragma once

#include <memory>
#include <mutex>

#include "platform/gdi/gdi_internal.h"

struct FontFace;

enum class GdiKind : uint8_t { Bitmap, Brush, Pen, Font };

struct GdiObject {
  GdiKind kind = GdiKind::Brush;
  bool stock = false;
  int selectedCount = 0;  // device contexts holding it; it cannot be deleted meanwhile
  // Bitmap
  Surface surface;
  WORD bitsPixel = 24;
  // Brush and pen: a colour, or nothing at all for the null ones
  COLORREF color = 0;
  bool hollow = false;
  // Font
  LOGFONTW logFont{};
  FontFace* face = nullptr;  // owned by the font cache
};

struct DeviceContext {
  bool window = false;
  HWND hwnd = nullptr;
  Surface* target = nullptr;  // the selected bitmap's pixels, or the screen
  int originX = 0;            // where the DC's (0, 0) lies on the target
  int originY = 0;
  RECT clip{};  // in target coordinates
  HGDIOBJ bitmap = nullptr;
  HGDIOBJ brush = nullptr;
  HGDIOBJ pen = nullptr;
  HGDIOBJ font = nullptr;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
};

std::mutex& gdiLock();
GdiObject* findObject(HGDIOBJ handle);
GdiObject* findObject(HGDIOBJ handle, GdiKind kind);
DeviceContext* findDC(HDC dc);
HGDIOBJ addObject(std::unique_ptr<GdiObject> object);
HDC addDC(std::unique_ptr<DeviceContext> dc);
void removeDC(HDC dc);
// A device context with the stock defaults selected; bitmap as given.
std::unique_ptr<DeviceContext> newDefaultDC();
HGDIOBJ stockObject(int which);
// The 1 x 1 bitmap every new memory device context starts with.
HGDIOBJ stockDefaultBitmap();
