// Timers: SetTimer and KillTimer, delivering WM_TIMER to the queue of the
// thread that owns the window.
#pragma once

#include "platform/core/ce_types.h"

using TIMERPROC = void (*)(HWND window, UINT message, uintptr_t idEvent, DWORD time);

uintptr_t SetTimer(HWND window, uintptr_t idEvent, UINT elapseMs, TIMERPROC timerProc);
BOOL KillTimer(HWND window, uintptr_t idEvent);
