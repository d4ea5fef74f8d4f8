// The one window procedure of the main window class.
#pragma once

#include "platform/core/ce_types.h"

LRESULT mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
