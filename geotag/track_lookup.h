// Track lookup: the fix recorded when the photo in exifDateTime was taken.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/core/ce_types.h"

constexpr int32_t kDeviceCameraClockAheadOfUtc = 10800;

// 0 when a record matched (left in matchLatitude/matchLongitude/matchLatRef/
// matchLonRef); non-zero when none did.
int findTrackFix();

// The day's log for an EXIF date text ("YYYY:MM:DD ..."):
// \ResidentFlash\vellumtrace\DDMMYY.log. False when the date's fields are not
// all digits, which names no log.
bool trackLogPathFor(const char* dateTime, WCHAR* path, size_t size);

// How far the camera clock runs ahead of UTC, in seconds (west of Greenwich
// negative); 10800 unless set.
void setCameraClockAheadOfUtc(int32_t seconds);
// "[+|-]HH:MM" as seconds ahead of UTC (hours 0 to 23, minutes 0 to 59); false
// for anything else, *seconds unchanged.
bool parseClockOffset(const char* text, int32_t* seconds);

// After a match: the matching record's utcSeconds, and the photo's time as
// UTC less that (-1, 0 or 1, counted across midnight for another day's log).
int32_t matchedRecordSeconds();
int32_t matchedPhotoDifference();
// After a match: the day of the matching record's log, counted from the
// photo's date (-1, 0 or 1).
int matchedDay();

// The EXIF date text `days` days from `dateTime`'s ("YYYY:MM:DD", the rest
// copied), across month and year ends by the Gregorian calendar; false when
// the date is not one.
constexpr size_t kDateTimeTextBytes = 20;
bool shiftedDayOf(const char* dateTime, int days, char* out);
