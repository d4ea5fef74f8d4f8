// EXIF GPS insertion: rewrites one JPEG in place with a GPS IFD.
#pragma once

#include "platform/core/ce_types.h"

// 0 when the photo was geotagged; any other value when it was not.
int insertGpsIfd(LPCWSTR path);
// Everything insertGpsIfd does short of writing: the photo is read and
// checked and its fix looked up (left in the match fields), and the photo is
// left as it was. 0 when insertGpsIfd would go on to write the tagged copy.
int previewGpsIfd(LPCWSTR path);
