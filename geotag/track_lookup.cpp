// Track lookup: finds the fix recorded when the photo in exifDateTime was
// taken. The camera clock runs three hours ahead of the UTC times the log
// carries; a record within one second matches, and the first one in the file
// wins. The log is read in blocks of whole records (what record-by-record
// reading would find, for a fraction of the calls); a trailing fragment
// shorter than a record cannot be a fix and is not examined.
#include "geotag/track_lookup.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "app/state/shared_state.h"
#include "gps/track_record.h"
#include "platform/kernel/files.h"
#include "platform/core/handles.h"

namespace {

// The device's cameras are set to its own time zone, UTC+3; the tool can be
// told another (set before any lookup, never while one runs).
int32_t cameraClockAheadOfUtc = kDeviceCameraClockAheadOfUtc;
// The matching record's time and how far the photo's UTC time lies from it.
int32_t matchSeconds = 0;
int32_t matchDifference = 0;
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

int findTrackFix() {
  const char* dt = shared.exifDateTime;
  const int32_t photoSeconds = fieldValue(dt + 11) * 3600 + fieldValue(dt + 14) * 60 + fieldValue(dt + 17);

  WCHAR path[64];
  if (!trackLogPathFor(dt, path, 64)) return -1;
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

void setCameraClockAheadOfUtc(int32_t seconds) { cameraClockAheadOfUtc = seconds; }

int32_t matchedRecordSeconds() { return matchSeconds; }
int32_t matchedPhotoDifference() { return matchDifference; }
