// EXIF GPS insertion: rewrites one JPEG in place with a GPS IFD.
#pragma once

#include "platform/core/ce_types.h"

// 0 when the photo was geotagged; any other value when it was not.
int insertGpsIfd(LPCWSTR path);
