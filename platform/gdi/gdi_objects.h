// GDI objects and device contexts: CreateCompatibleDC, DeleteDC,
// SelectObject, DeleteObject, GetStockObject, GetObjectW, CreateSolidBrush,
// CreateFontIndirectW, CreateCompatibleBitmap.
#pragma once

#include "platform/core/ce_types.h"
#include "platform/gdi/painting.h"

int GetObjectW(HGDIOBJ object, int bufferBytes, LPVOID buffer);
HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
HGDIOBJ GetStockObject(int object);
HFONT CreateFontIndirectW(const LOGFONTW* font);
HBRUSH CreateSolidBrush(COLORREF color);
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
