// The daily track log: one file of 14-byte records per UTC day, named after
// the $GPRMC date (\ResidentFlash\vellumtrace\DDMMYY.log), appended in the
// order the fixes arrived. The worker keeps the day's file open from tick to
// tick, without sharing, and stands aside while a tagging batch runs, so the
// track lookup can open the file for reading.
//
// The log step and START's close take shared.logLock, so the two threads'
// use of logFile never overlaps: the worker never writes through a handle
// START has closed, and once START has returned no handle is open.
#include "gps/track_log.h"

#include <cstring>
#include <mutex>

#include "app/state/shared_state.h"
#include "gps/nmea_intake.h"
#include "gps/recorder_notices.h"
#include "gps/track_record.h"
#include "platform/ce.h"
#include "platform/core/handles.h"

namespace {

// The date (six characters and a NUL) of the file opened last; worker only.
char logDate[kFixDateBytes] = {};

void closeOpenLog() {
  HANDLE log = shared.logFile;
  if (shared.logOpen == 1 && log != nullptr && log != INVALID_HANDLE_VALUE) CloseHandle(log);
  shared.logOpen = 0;
  shared.logFile = nullptr;
}

// Puts the file pointer at the last whole-record boundary and cuts off what
// lies beyond it: a write torn by a crash or a power cut, or cut short by a
// full volume, leaves a partial record at the end, and appending after it
// would misalign every later record of the day. The partial bytes hold no
// whole record, so nothing readable is lost (and if they cannot be cut off,
// the next record written covers them). False when the size or the pointer
// cannot be made sure of: an append could then land anywhere.
bool alignToWholeRecords(HANDLE log) {
  DWORD size = GetFileSize(log, nullptr);
  if (size == 0xFFFFFFFFu) return false;
  DWORD whole = size - size % kTrackRecordBytes;
  if (SetFilePointer(log, static_cast<LONG>(whole), nullptr, FILE_BEGIN) != whole) return false;
  if (whole != size) SetEndOfFile(log);
  return true;
}

}  // namespace

void openDailyLog(const char* fixDate) {
  WCHAR path[MAX_PATH];
  trackLogPath(fixDate, path, MAX_PATH);
  // Write-through: each tick's write has reached the storage before
  // WriteFile returns, so a power cut loses at most the tick in flight.
  HANDLE log = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_FLAG_WRITE_THROUGH, nullptr);
  if (log == INVALID_HANDLE_VALUE) {
    noteLogFailure(path);
    shared.logFile = nullptr;
    return;
  }
  // A file whose end cannot be found is not appended to; the next tick
  // tries again.
  if (!alignToWholeRecords(log)) {
    noteLogFailure(path);
    CloseHandle(log);
    shared.logFile = nullptr;
    return;
  }
  shared.logFile = log;
}

void appendTrackRecords(const char* fixDate, const BYTE* records, int recordBytes) {
  std::lock_guard<std::mutex> lock(shared.logLock);

  // A batch owns the day's files from START until its last photo has been
  // looked up (logHeldForBatch outlasts batchRunning after EXIT, while that
  // photo is still being tagged): the log stays closed and the tick's
  // records are dropped. START normally closed the file already; if it is
  // still open here, it is closed now.
  if (shared.batchRunning != 0 || shared.logHeldForBatch != 0) {
    closeOpenLog();
    return;
  }

  if (shared.logOpen == 1) {
    // A new complete date switches files.
    if (fixDateComplete(fixDate) && strncmp(fixDate, logDate, kFixDateBytes) != 0) {
      closeOpenLog();
      openDailyLog(fixDate);
      strncpy(logDate, fixDate, kFixDateBytes - 1);
      // A file that cannot be opened leaves the log closed, so the next
      // tick tries again instead of losing the rest of the day.
      if (shared.logFile != nullptr) shared.logOpen = 1;
    }
  } else {
    // Closed: nothing until a tick brings a complete date.
    if (!fixDateComplete(fixDate)) return;
    openDailyLog(fixDate);
    strncpy(logDate, fixDate, kFixDateBytes - 1);
    if (shared.logFile != nullptr) shared.logOpen = 1;
  }
  if (shared.logOpen != 1) return;

  // All of the tick's records in one write at the end of the file.
  if (recordBytes > 0) {
    HANDLE log = shared.logFile;
    DWORD written = 0;
    BOOL ok = WriteFile(log, records, static_cast<DWORD>(recordBytes), &written, nullptr);
    if (ok && written == static_cast<DWORD>(recordBytes)) {
      noteLogWritten();
      return;
    }
    // A failed write is said (once, until a write gets through) and leaves
    // the end where the last whole record ends, or the log closed, to be
    // reopened and aligned at the next tick.
    if (ok) SetLastError(ERROR_DISK_FULL);  // cut short: the volume is full
    WCHAR path[MAX_PATH];
    trackLogPath(logDate, path, MAX_PATH);
    noteLogFailure(path);
    if (!alignToWholeRecords(log)) closeOpenLog();
  }
}

void closeTrackLogForBatch() {
  std::lock_guard<std::mutex> lock(shared.logLock);
  shared.batchRunning = 1;
  shared.logHeldForBatch = 1;
  closeOpenLog();
}

void closeTrackLogAtExit() {
  std::lock_guard<std::mutex> lock(shared.logLock);
  closeOpenLog();
}

void resetTrackLog() { memset(logDate, 0, sizeof logDate); }
