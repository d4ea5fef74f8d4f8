// The executable's resources, as tables in the layer's format: the program
// hands them to the layer at start (setModuleResources).
#pragma once

#include "platform/user/resources.h"

const ModuleResources& programResources();

// The main window's title and class name, as the string table holds them
// (IDS_WINDOW_TITLE, IDS_WINDOW_CLASS). The program loads them with
// LoadStringW; these are for those who name the windows from outside.
extern const WCHAR kWindowTitle[];
extern const WCHAR kWindowClass[];
