// The daily track log: one file of 14-byte records per UTC day, named after
// the date of each fix's own RMC sentence, DDMMYY.log in
// \ResidentFlash\vellumtrace, appended in the order the fixes arrived. The
// worker keeps the day's file open from tick to tick, without sharing, and
// stands aside while a tagging batch runs, so the track lookup can open the
// file for reading; the fixes of that time wait in memory and are written
// once it is over.
//
// The log step and START's close take shared.logLock, so the two threads'
// use of logFile never overlaps: the worker never writes through a handle
// START has closed, and once START has returned no handle is open.
#include "gps/track_log.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "app/state/shared_state.h"
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

namespace {

// Records not yet written: a tick's, or every tick's since a batch closed
// the log. Worker only, under the log lock.
DatedRecord held[kHeldRecordCapacity];
int heldCount = 0;
bool heldOverflowSaid = false;
// One day's records gathered for its one write.
BYTE dayBytes[kHeldRecordCapacity * kTrackRecordBytes];

void holdRecords(const DatedRecord* records, int count) {
  if (count <= 0) return;
  int room = kHeldRecordCapacity - heldCount;
  int taken = count < room ? count : room;
  memcpy(held + heldCount, records, static_cast<size_t>(taken) * sizeof(DatedRecord));
  heldCount += taken;
  if (taken < count && !heldOverflowSaid) {
    // Once per hold: the fixes past the bound are lost, and the track will
    // have a hole from here to the end of the batch.
    fprintf(stderr,
            "vellumtrace: %d fixes held while photos are tagged, the most kept; "
            "later fixes are lost until the batch ends\n",
            kHeldRecordCapacity);
    heldOverflowSaid = true;
  }
}

// Makes the day's file the open one: switches files when the date differs.
// A file that cannot be opened leaves the log closed, so the next tick tries
// again instead of losing the rest of the day.
bool switchToDay(const char* date) {
  if (shared.logOpen == 1 && strncmp(date, logDate, kFixDateBytes) == 0) return true;
  closeOpenLog();
  openDailyLog(date);
  memcpy(logDate, date, kFixDateBytes);
  if (shared.logFile != nullptr) shared.logOpen = 1;
  return shared.logOpen == 1;
}

// The day's records in one write at the end of its file.
void writeDay(const BYTE* bytes, size_t size) {
  HANDLE log = shared.logFile;
  DWORD written = 0;
  BOOL ok = WriteFile(log, bytes, static_cast<DWORD>(size), &written, nullptr);
  if (ok && written == static_cast<DWORD>(size)) {
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

// Writes the held records, one write per day they touch, in the order the
// days first appear; within a day the records keep their order.
void writeHeld() {
  static bool done[kHeldRecordCapacity];
  memset(done, 0, static_cast<size_t>(heldCount));
  for (int first = 0; first < heldCount; ++first) {
    if (done[first]) continue;
    const char* date = held[first].date;
    size_t size = 0;
    for (int i = first; i < heldCount; ++i) {
      if (done[i] || strncmp(held[i].date, date, kFixDateBytes) != 0) continue;
      memcpy(dayBytes + size, held[i].bytes, kTrackRecordBytes);
      size += kTrackRecordBytes;
      done[i] = true;
    }
    if (switchToDay(date)) writeDay(dayBytes, size);
  }
  heldCount = 0;
  heldOverflowSaid = false;
}

}  // namespace

void appendTrackRecords(const DatedRecord* records, int count) {
  std::lock_guard<std::mutex> lock(shared.logLock);

  // A batch owns the day's files from START until its last photo has been
  // looked up (logHeldForBatch outlasts batchRunning after EXIT, while that
  // photo is still being tagged): the log stays closed and the records wait
  // in memory. START normally closed the file already; if it is still open
  // here, it is closed now.
  if (shared.batchRunning != 0 || shared.logHeldForBatch != 0) {
    holdRecords(records, count);
    closeOpenLog();
    return;
  }
  // The held fixes go first; with no room left beside them they are
  // written on their own, so the tick's records are not lost.
  if (heldCount + count > kHeldRecordCapacity) writeHeld();
  holdRecords(records, count);
  writeHeld();
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

void resetTrackLog() {
  memset(logDate, 0, sizeof logDate);
  heldCount = 0;
  heldOverflowSaid = false;
}
