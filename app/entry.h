// The program's entry point: the role chosen by the module's file name, the
// main window and the UI thread's message loop.
#pragma once

#include "platform/ce_types.h"

int startApplication(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);
