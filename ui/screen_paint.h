// The tagging screen's paint: background picture, card line, photo count,
// and while a batch is on screen the percentage, the rule and the bar.
#pragma once

#include "platform/ce_types.h"

// Background picture of the screen, in the executable's resources.
constexpr int kBackgroundBitmapId = 132;

// WM_PAINT of the main window. Reads the shared state, writes screenText.
void paintMainWindow(HWND window);
