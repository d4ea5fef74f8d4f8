// The tagging screen's paint: background picture, card line, photo count,
// and while a batch is on screen the percentage, the rule and the bar.
#pragma once

#include <cstdint>

#include "platform/core/ce_types.h"

// The card line for a card of totalKb KiB with freeKb free, and the
// percentage line; each into a buffer of at least 1024 units.
void formatCardLine(LPWSTR out, uint32_t totalKb, uint32_t freeKb);
void formatPercentLine(LPWSTR out, float percent);

// WM_PAINT of the main window. Reads the shared state, writes screenText.
void paintMainWindow(HWND window);
