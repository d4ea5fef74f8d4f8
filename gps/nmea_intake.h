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
  // The unfinished last line of the previous tick's text, which the next
  // read completes: at 9600 baud a sentence takes 75 ms on the wire, so a
  // read often ends inside one.
  char carriedLine[kLineBytes] = {};
  size_t carriedBytes = 0;
  // Set when an unfinished line reached the line limit and was dropped: the
  // text up to the next CR LF is the rest of that line and is skipped too.
  bool skippingLongLine = false;
  // The time and date fields of the latest record kept, so that a second RMC
  // line of the same fix (two talkers in one cycle) is recorded once.
  char keptTime[kFieldSlotBytes] = {};
  char keptDate[kFixDateBytes] = {};
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

// Puts the line the previous tick left unfinished at the start of `buffer`
// (which holds kLineBytes at least) and returns its length; the tick's read
// goes right after it.
size_t placeCarriedLine(char* buffer);

// One tick's text: the carried line and what the read brought, `bytes` in
// all, followed by a NUL. Splits it into lines and keeps the unfinished last
// line for the next tick, unless a NUL from the receiver ended the text early
// (the rest of that read is ignored, so the line cannot be completed) or the
// line has reached the line limit (garbage, dropped up to its CR LF).
void takeTickText(const char* text, size_t bytes);

// Splits NUL-terminated text at each CR LF and parses every RMC line (see
// isRmcLine). Returns where the text after the last CR LF starts. A line
// that does not fit the line buffer (over 1,023 bytes) cannot be a sentence
// and is skipped.
const char* splitNmeaLines(const char* text);

// Whether a line is an RMC sentence of a GNSS talker: "$GPRMC," "$GNRMC,"
// "$GLRMC," "$GARMC," "$GBRMC," or "$BDRMC,", case-sensitive.
bool isRmcLine(const char* line);

// Whether a line's checksum holds: true for a line without one (no '*'),
// false when the text after the last '*' is not the two hex digits of the
// XOR of everything between the '$' and that '*'.
bool rmcChecksumHolds(const char* line);

// Parses one RMC line into the field slots, fixDate and the record buffer.
// A status other than 'A' empties fixDate and drops every record of the tick
// so far. A line with a wrong checksum or a field over 63 bytes is skipped
// whole: slots, date and records stay as they were. A status-A line gives no
// record when it does not itself carry a time, both coordinates and both
// hemisphere letters, or when it repeats the time and date of the record
// kept last.
void parseRmcLine(const char* line);

// Whether fixDate holds a whole date (exactly six characters).
bool fixDateComplete(const char* fixDate);
