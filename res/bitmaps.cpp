// Bitmaps. Bitmap 132, the 480 x 272 background of the tagging screen, is
// added by the screen's resources.
#include "res/resource_tables.h"

const BitmapResource kBitmaps[] = {{0, nullptr, 0}};
const size_t kBitmapCount = 0;
