// Bitmaps: the background of the tagging screen, drawn by tools/bitmap and
// embedded from res/background_132.bmp by bitmaps.S.
#include "res/resource_ids.h"
#include "res/resource_tables.h"

extern "C" const uint8_t vt_background_132_bmp[];
extern "C" const uint8_t vt_background_132_bmp_end[];

const BitmapResource kBitmaps[] = {
    {IDB_BACKGROUND, vt_background_132_bmp,
     static_cast<size_t>(vt_background_132_bmp_end - vt_background_132_bmp)},
};
const size_t kBitmapCount = sizeof kBitmaps / sizeof kBitmaps[0];
