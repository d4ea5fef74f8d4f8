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

// The EXIF date text of the day before `dateTime` ("YYYY:MM:DD", the rest
// copied), across month and year ends by the Gregorian calendar; false when
// the date is not one.
constexpr size_t kDateTimeTextBytes = 20;
bool previousDayOf(const char* dateTime, char* out);
