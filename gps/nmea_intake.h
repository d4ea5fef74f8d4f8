// NMEA intake of the GPS worker: the serial port, the 500 ms tick, the line
// splitting and the $GPRMC parser. Everything here runs on the worker thread;
// the state below is the worker's own and lives for the thread's life.
#pragma once

#include "platform/core/ce_types.h"

constexpr size_t kReadBufferBytes = 65536;
// Each tick clears one byte less than the buffer holds and reads two less,
// so the text read is always followed by a NUL.
constexpr size_t kReadClearBytes = 65535;
constexpr DWORD kReadRequestBytes = 65534;
constexpr size_t kLineBytes = 1024;
constexpr int kFieldSlotCount = 32;
constexpr size_t kFieldSlotBytes = 64;
constexpr size_t kFixDateBytes = 8;
constexpr size_t kRecordBufferBytes = 65536;
constexpr size_t kRecordClearBytes = 65535;
constexpr uintptr_t kGpsTimerId = 1025;
constexpr unsigned kGpsTickMs = 500;

struct GpsIntake {
  HANDLE port = nullptr;
  char readBuffer[kReadBufferBytes] = {};
  char lineBuffer[kLineBytes] = {};
  // Slot k holds field k of the latest $GPRMC line that reached it; slots are
  // never cleared, so a short line leaves the later fields of an earlier one.
  char fieldSlots[kFieldSlotCount][kFieldSlotBytes] = {};
  char timeParts[3][3] = {};
  // The date field of the latest $GPRMC line; complete at exactly 6 characters.
  char fixDate[kFixDateBytes] = {};
  BYTE recordBuffer[kRecordBufferBytes] = {};
  int recordBytes = 0;
};

extern GpsIntake gpsIntake;

// Back to the start state (empty slots, no date, no records, no port); tests
// run many scenarios in one process.
void resetGpsIntake();

// Opens "Com1:" and sets the line up (9600 8N1, no flow control, DTR and RTS
// raised, reads that return at once). Returns the port handle, or nullptr with
// *failureText set to the message to show.
HANDLE openGpsPort(LPCWSTR* failureText);

// One tick: clear the buffers, read what has arrived, make sure the log folder
// exists, parse, run the log step, then the card check.
void runGpsTick();

// Splits NUL-terminated text at each CR LF and parses every line that starts
// with "$GPRMC,". Text after the last CR LF is dropped. A line that does not
// fit the line buffer (over 1,023 bytes) cannot be a sentence and is skipped.
void splitNmeaLines(const char* text);

// Parses one $GPRMC line into the field slots, fixDate and the record buffer.
// A status other than 'A' empties fixDate and drops every record of the tick
// so far. A line with a field over 63 bytes is skipped whole: slots, date and
// records stay as they were.
void parseRmcLine(const char* line);

// Whether fixDate holds a whole date (exactly six characters).
bool fixDateComplete(const char* fixDate);
