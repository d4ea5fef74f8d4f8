// The drawn message box: MessageBoxW shown over the screen.
#pragma once

#include "platform/core/ce_types.h"

// MessageBoxW on a screen: the drawn box over the screen, modal on the
// calling thread with a message loop of its own (paints, touches and timers
// of the thread go on beneath it) until OK is tapped, Enter is pressed or
// pressMessageBoxOk is called. A WM_QUIT that arrives meanwhile ends the box
// and is posted again for the outer loop. Returns IDOK.
int runScreenMessageBox(LPCWSTR text, LPCWSTR caption);
// The same as a MessageBoxW backend (setMessageBoxBackend): it first prints
// the box's `msgbox` line as the headless backend does, then shows and waits.
int drawnMessageBoxBackend(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
