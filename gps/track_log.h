// The daily track log: 14-byte records appended to DDMMYY.log per UTC day.
#pragma once

#include "gps/track_record.h"
#include "platform/core/ce_types.h"

// Fixes held while a batch keeps the log closed: an hour's at ten a second.
constexpr int kHeldRecordCapacity = 36000;

// The log step of one tick: each record goes to the file of its own date.
// While a batch keeps the log closed the records are held (up to
// kHeldRecordCapacity; the first one past it is reported on standard
// error) and written, in order, once the log is back.
void appendTrackRecords(const DatedRecord* records, int count);
// Opens the day's file into logFile, positioned for appending.
void openDailyLog(const char* fixDate);
// START's side of the hand-over: sets batchRunning and logHeldForBatch and
// closes the open log,
// under the log lock, so the worker never writes through a closed handle.
void closeTrackLogForBatch();
// The end of the worker's loop: closes the day's file if it is open.
void closeTrackLogAtExit();
// Forgets the date of the file opened last and the held fixes; for tests.
void resetTrackLog();
