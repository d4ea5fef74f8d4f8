// The daily track log: 14-byte records appended to DDMMYY.log per UTC day.
#pragma once

#include "platform/core/ce_types.h"

// The log step of one tick.
void appendTrackRecords(const char* fixDate, const BYTE* records, int recordBytes);
// Opens the day's file into logFile, positioned for appending.
void openDailyLog(const char* fixDate);
// START's side of the hand-over: sets batchRunning and logHeldForBatch and
// closes the open log,
// under the log lock, so the worker never writes through a closed handle.
void closeTrackLogForBatch();
// The end of the worker's loop: closes the day's file if it is open.
void closeTrackLogAtExit();
// Forgets the date of the file opened last; for tests.
void resetTrackLog();
