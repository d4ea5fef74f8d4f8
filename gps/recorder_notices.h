// What the recorder says on the debug output when it cannot do its work:
// the port that cannot be set up, and fixes that cannot be written. Each
// trouble is said once, with the path and the reason, until it is over (the
// port opens; a write reaches the day's file); a different reason is said
// anew. Worker thread only.
#pragma once

#include "platform/core/ce_types.h"

// Right after a failed CE call of the port's set-up: keeps the call's error
// and its text while they are the thread's last.
void notePortFailure();
// Says the kept failure unless it is the one said last. True when it said it.
bool sayPortFailure();
// The port is open and set up: the next failure is said again.
void notePortOpened();

// Right after a failed open, positioning or write of a day's file: says
// that fixes cannot be written to `path`, and why, unless that was said
// last and nothing has been written since.
void noteLogFailure(LPCWSTR path);
// A write reached the day's file.
void noteLogWritten();

// Forgets what was said; for tests.
void resetRecorderNotices();
