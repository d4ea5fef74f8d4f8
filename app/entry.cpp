// Entry point. (Minimal until the main window lands: nothing to run yet.)
#include "app/entry.h"

int startApplication(HINSTANCE, HINSTANCE, LPWSTR, int) { return 0; }
