// The host's view of the program's windows: it knows no window of the
// program's by name, only the process's windows as the layer lists them. The
// main window is the process's one top-level window; the worker's hidden
// window is owned by it until it is destroyed.
#pragma once

#include "platform/core/ce_types.h"

// The process's first top-level window, waiting up to waitMs for one to
// appear (commands may come while the program is still starting); null when
// none came.
HWND firstTopLevelWindow(int waitMs);
// Posts WM_CLOSE to every top-level window of the process; false when there
// was none.
bool closeTopLevelWindows();
// Posts WM_CLOSE to every window of the other threads still alive and waits
// up to waitMs for them to go (each closes with its thread's loop: the worker
// closes its log). The calling thread's own windows are left: nobody pumps
// them any more.
void closeRemainingWindows(int waitMs);
