// The program's entry point: the role chosen by the module's file name, the
// main window and the UI thread's message loop.
#pragma once

#include "platform/core/ce_types.h"

int startApplication(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);

// The steps of the entry, each on its own for tests.
int createMainWindow(HINSTANCE instance);
ATOM registerMainWindowClass(HINSTANCE instance, LPCWSTR className);
void closeRunningInstance();
void installSelf();
void removeSelf();
