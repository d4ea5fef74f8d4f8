// Track lookup: finds the fix recorded when the photo in exifDateTime was
// taken. The camera clock runs ahead of the UTC times the log carries by the
// camera's offset (three hours unless told otherwise, any zone from -12:00 to
// +14:00); a record within one second matches, and of those the nearest wins,
// the earlier of two equally near (at one fix a second the exact fix is in
// the log, and the one a second off is metres away). The photo's UTC time may
// fall on the day before its date or the day after, so those days' logs are
// read too when the second around it reaches into them (across month and
// year ends). The log is read in blocks of whole records; a trailing fragment
// shorter than a record cannot be a fix and is not examined.
#include "geotag/track_lookup.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "app/state/shared_state.h"
#include "gps/track_record.h"
#include "platform/kernel/files.h"
#include "platform/core/handles.h"

namespace {

// The device's cameras are set to its own time zone, UTC+3; the tool and the
// program can be told another (set before any lookup, never while one runs).
int32_t cameraClockAheadOfUtc = kDeviceCameraClockAheadOfUtc;
// The matching record's time and how far the photo's UTC time lies from it.
int32_t matchSeconds = 0;
int32_t matchDifference = 0;
int matchDay = 0;  // the matching log's day, from the photo's date
constexpr int64_t kSecondsPerDay = 86400;
// 4096 records a read: a full day's log (86,400 records) in 22 reads.
constexpr DWORD kBlockBytes = kTrackRecordBytes * 4096;
// One lookup runs at a time, on the UI thread, so the block lives here rather
// than on that thread's stack.
BYTE block[kBlockBytes];

// A two-character field of exifDateTime read as a decimal number: leading
// blanks skipped, digits up to the first other character, none counting 0.
int32_t fieldValue(const char* field) {
  int i = 0;
  while (i < 2 && field[i] == ' ') i++;
  int32_t v = 0;
  for (; i < 2 && field[i] >= '0' && field[i] <= '9'; i++) v = v * 10 + (field[i] - '0');
  return v;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Every record read is left in the match fields; the scan stops at the
// first that matches.
int32_t keepRecord(const BYTE* bytes) {
  const TrackRecord r = decodeTrackRecord(bytes);
  shared.matchLatitude = r.latitude;
  shared.matchLatRef = r.latRef;
  shared.matchLongitude = r.longitude;
  shared.matchLonRef = r.lonRef;
  return r.utcSeconds;
}

}  // namespace

bool trackLogPathFor(const char* dateTime, WCHAR* path, size_t size) {
  const char* dd = dateTime + 8;
  const char* mm = dateTime + 5;
  const char* yy = dateTime + 2;
  // Only digits may go into the name: a date of other characters names no
  // log, and must never steer the open to another folder ("..", "\").
  for (const char* f : {dd, mm, yy})
    if (!isDigit(f[0]) || !isDigit(f[1])) return false;
  const char ddmmyy[6] = {dd[0], dd[1], mm[0], mm[1], yy[0], yy[1]};
  trackLogPath(ddmmyy, path, size);
  return true;
}

namespace {

// Days since 1970-01-01 of a Gregorian date, and back (Howard Hinnant's
// civil-calendar algorithms), so that a day's neighbours are found across
// month, year and century ends.
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2));
}

}  // namespace

bool shiftedDayOf(const char* dateTime, int days, char* out) {
  memcpy(out, dateTime, kDateTimeTextBytes);
  for (int at : {0, 1, 2, 3, 5, 6, 8, 9})
    if (!isDigit(dateTime[at])) return false;
  auto number = [&](int at, int digits) {
    int v = 0;
    for (int i = 0; i < digits; i++) v = v * 10 + (dateTime[at + i] - '0');
    return v;
  };
  const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (month < 1 || month > 12 || day < 1 || day > kDays[month - 1] + (month == 2 && leap)) return false;
  int y = 0, m = 0, d = 0;
  civilFromDays(daysFromCivil(year, month, day) + days, &y, &m, &d);
  // Only the two-digit year names a log; the century wraps as it may.
  char text[16];
  snprintf(text, sizeof text, "%04d:%02d:%02d", ((y % 10000) + 10000) % 10000, m, d);
  memcpy(out, text, 10);
  return true;
}

namespace {

// The nearest record so far.
struct Nearest {
  bool found = false;
  int64_t difference = 0;  // record time less the photo's UTC time
  TrackRecord record{};
  int day = 0;
};

bool nearer(int64_t d, const Nearest& best) {
  const int64_t a = d < 0 ? -d : d, b = best.difference < 0 ? -best.difference : best.difference;
  return !best.found || a < b || (a == b && d < best.difference);
}

// Scans one day's log for records within a second of `photoUtc`, counted
// (as `dayStart`, that day's midnight) from the midnight of the photo's date.
// True when the log holds an exact match: nothing can be nearer.
bool scanLog(const char* dateTime, int64_t dayStart, int64_t photoUtc, Nearest* best) {
  WCHAR path[64];
  if (!trackLogPathFor(dateTime, path, 64)) return false;
  HANDLE log = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (log == INVALID_HANDLE_VALUE) return false;

  bool exact = false;
  DWORD carried = 0;  // bytes of a record cut by the end of the previous block
  while (!exact) {
    DWORD got = 0;
    if (!ReadFile(log, block + carried, kBlockBytes - carried, &got, nullptr) || got == 0) break;
    DWORD have = carried + got;
    DWORD whole = have - have % kTrackRecordBytes;
    for (DWORD at = 0; at < whole; at += kTrackRecordBytes) {
      // In 64 bits, so that no time a damaged log holds can overflow.
      const int64_t d = dayStart + keepRecord(block + at) - photoUtc;
      if (d > -2 && d < 2 && nearer(d, *best)) {
        *best = Nearest{true, d, decodeTrackRecord(block + at), static_cast<int>(dayStart / kSecondsPerDay)};
        if ((exact = d == 0)) break;
      }
    }
    carried = have - whole;
    memmove(block, block + whole, carried);
  }
  CloseHandle(log);
  return exact;
}

}  // namespace

void setCameraClockAheadOfUtc(int32_t seconds) { cameraClockAheadOfUtc = seconds; }

bool parseClockOffset(const char* text, int32_t* seconds) {
  int sign = 1;
  if (*text == '+' || *text == '-') sign = *text++ == '-' ? -1 : 1;
  auto digit = [&](int i) { return text[i] >= '0' && text[i] <= '9'; };
  if (strlen(text) != 5 || !digit(0) || !digit(1) || text[2] != ':' || !digit(3) || !digit(4)) return false;
  const int hours = (text[0] - '0') * 10 + (text[1] - '0');
  const int minutes = (text[3] - '0') * 10 + (text[4] - '0');
  if (hours > 23 || minutes > 59) return false;
  *seconds = sign * (hours * 3600 + minutes * 60);
  return true;
}

int32_t matchedRecordSeconds() { return matchSeconds; }
int32_t matchedPhotoDifference() { return matchDifference; }
int matchedDay() { return matchDay; }

int findTrackFix() {
  const char* dt = shared.exifDateTime;
  const int64_t photoSeconds = fieldValue(dt + 11) * 3600 + fieldValue(dt + 14) * 60 + fieldValue(dt + 17);
  const int64_t photoUtc = photoSeconds - cameraClockAheadOfUtc;
  Nearest best;
  // The day before, the photo's date and the day after, in time order, each
  // only when the second around the photo's UTC time reaches into it.
  for (int day = -1; day <= 1; day++) {
    const int64_t dayStart = day * kSecondsPerDay;
    if (photoUtc + 1 < dayStart || photoUtc - 1 >= dayStart + kSecondsPerDay) continue;
    char date[kDateTimeTextBytes];
    if (day != 0 && !shiftedDayOf(dt, day, date)) continue;
    if (scanLog(day == 0 ? dt : date, dayStart, photoUtc, &best)) break;
  }
  if (!best.found) return -1;
  shared.matchLatitude = best.record.latitude;
  shared.matchLatRef = best.record.latRef;
  shared.matchLongitude = best.record.longitude;
  shared.matchLonRef = best.record.lonRef;
  matchSeconds = best.record.utcSeconds;
  matchDifference = static_cast<int32_t>(-best.difference);
  matchDay = best.day;
  return 0;
}
