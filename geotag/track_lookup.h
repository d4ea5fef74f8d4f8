// Track lookup: the fix recorded when the photo in exifDateTime was taken.
#pragma once

#include <cstddef>

#include "platform/core/ce_types.h"

// 0 when a record matched (left in matchLatitude/matchLongitude/matchLatRef/
// matchLonRef); non-zero when none did.
int findTrackFix();

// The day's log for an EXIF date text ("YYYY:MM:DD ..."):
// \ResidentFlash\vellumtrace\DDMMYY.log. False when the date's fields are not
// all digits, which names no log.
bool trackLogPathFor(const char* dateTime, WCHAR* path, size_t size);
