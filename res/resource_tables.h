// Inside res/: the tables each resource file defines, gathered by resources.cpp.
#pragma once

#include "res/resources.h"

extern const StringResource kStringTable[];
extern const size_t kStringTableCount;
extern const AcceleratorTable kAcceleratorTables[];
extern const size_t kAcceleratorTableCount;
extern const BitmapResource kBitmaps[];
extern const size_t kBitmapCount;
