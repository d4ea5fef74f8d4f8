// Track lookup: finds the fix recorded when the photo in exifDateTime was
// taken. The camera clock runs three hours ahead of the UTC times the log
// carries; a record within one second matches, and the first one in the file
// wins. A photo taken before 03:00 by its clock was taken the previous UTC
// day, so its fix is in the previous day's log (across month and year ends);
// within a second of 03:00 the other day's log is looked in too, when the
// first holds no match. The log is read in blocks of whole records (what record-by-record
// reading would find, for a fraction of the calls); a trailing fragment
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

bool previousDayOf(const char* dateTime, char* out) {
  memcpy(out, dateTime, kDateTimeTextBytes);
  for (int at : {0, 1, 2, 3, 5, 6, 8, 9})
    if (!isDigit(dateTime[at])) return false;
  auto number = [&](int at, int digits) {
    int v = 0;
    for (int i = 0; i < digits; i++) v = v * 10 + (dateTime[at + i] - '0');
    return v;
  };
  int year = number(0, 4), month = number(5, 2), day = number(8, 2);
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  if (--day == 0) {
    if (--month == 0) {
      month = 12;
      year = year == 0 ? 9999 : year - 1;
    }
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    day = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  }
  char text[11];
  snprintf(text, sizeof text, "%04d:%02d:%02d", year, month, day);
  memcpy(out, text, 10);
  return true;
}

namespace {

// Scans one day's log for a record within a second of `photoSeconds`, the
// photo's time counted from that day's midnight on the camera's clock.
int scanLog(const char* dateTime, int64_t photoSeconds) {
  WCHAR path[64];
  if (!trackLogPathFor(dateTime, path, 64)) return -1;
  HANDLE log = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (log == INVALID_HANDLE_VALUE) return -1;

  int result = -1;
  DWORD carried = 0;  // bytes of a record cut by the end of the previous block
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(log, block + carried, kBlockBytes - carried, &got, nullptr) || got == 0) break;
    DWORD have = carried + got;
    DWORD whole = have - have % kTrackRecordBytes;
    for (DWORD at = 0; at < whole; at += kTrackRecordBytes) {
      // In 64 bits, so that no time a damaged log holds can overflow.
      const int32_t seconds = keepRecord(block + at);
      int64_t d = static_cast<int64_t>(seconds) + cameraClockAheadOfUtc - photoSeconds;
      if (d > -2 && d < 2) {
        matchSeconds = seconds;
        matchDifference = static_cast<int32_t>(-d);
        result = 0;
        break;
      }
    }
    if (result == 0) break;
    carried = have - whole;
    memmove(block, block + whole, carried);
  }
  CloseHandle(log);
  return result;
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

int findTrackFix() {
  const char* dt = shared.exifDateTime;
  const int64_t photoSeconds = fieldValue(dt + 11) * 3600 + fieldValue(dt + 14) * 60 + fieldValue(dt + 17);
  char previous[kDateTimeTextBytes];
  const bool hasPrevious = previousDayOf(dt, previous);
  // On the previous day's clock the photo is a day later.
  const int64_t onPrevious = photoSeconds + kSecondsPerDay;
  if (photoSeconds < cameraClockAheadOfUtc) {
    if (hasPrevious && scanLog(previous, onPrevious) == 0) return 0;
    // 02:59:59 is within a second of this day's first UTC second.
    return photoSeconds + 1 >= cameraClockAheadOfUtc ? scanLog(dt, photoSeconds) : -1;
  }
  if (scanLog(dt, photoSeconds) == 0) return 0;
  // 03:00:00 is within a second of the previous day's last.
  if (hasPrevious && photoSeconds - 1 < cameraClockAheadOfUtc) return scanLog(previous, onPrevious);
  return -1;
}
