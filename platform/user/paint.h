// Invalidation and painting: InvalidateRect, GetClientRect, BeginPaint,
// EndPaint.
#pragma once

#include <vector>

#include "platform/core/ce_types.h"
#include "platform/gdi/painting.h"

BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
BOOL GetClientRect(HWND window, LPRECT rect);
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);

// ---- Host side: the painting family's hooks, and what tests see ----------------
// BeginPaint asks the painting layer for a device context that draws into the
// window, clipped to `clip` (the update rectangle); EndPaint hands it back.
// The defaults here (weak) draw on the screen's window layer through the
// painting layer, with the window's client area at the screen's origin.
HDC paintingBeginWindowDC(HWND window, const RECT& clip);
void paintingEndWindowDC(HWND window, HDC dc);

// The window's pending update rectangle: false when nothing is invalid.
bool windowUpdateRect(HWND window, RECT* rect);
// Every InvalidateRect call made on a window since it was created or since the
// log was cleared, in order, as client rectangles (a null rectangle recorded
// as the whole client area). Lets tests check what a step asked to repaint.
std::vector<RECT> windowInvalidationLog(HWND window);
void clearWindowInvalidationLog(HWND window);
