// NMEA intake: the receiver's bytes, read by the worker's tick, into dated
// track records. A sentence starts at its '$' and ends at its CR LF; what
// lies before the '$' on that line (a receiver's binary frames, noise, a
// space) is not part of it. Each RMC sentence with a valid fix gives one
// record dated by its own date field; any other line gives nothing and
// costs no other line anything. The state below is the worker's own.
#pragma once

#include "gps/track_record.h"
#include "platform/core/ce_types.h"

// The longest line kept, from its '$' to its CR LF (NMEA caps a sentence at
// 82 characters; some receivers send longer proprietary ones).
constexpr size_t kLineBytes = 1024;
constexpr int kFieldSlotCount = 32;
constexpr size_t kFieldSlotBytes = 64;
// A read of 65,534 bytes holds at most about 2,100 of the shortest RMC fix
// sentences, fewer than this.
constexpr int kTickRecordCapacity = 4681;

struct GpsIntake {
  char lineBuffer[kLineBytes] = {};
  // Field k of the RMC line being parsed; only the fields that line holds
  // are looked at.
  char fieldSlots[kFieldSlotCount][kFieldSlotBytes] = {};
  int fieldCount = 0;
  char timeParts[3][3] = {};
  // The tick's records, in the order their sentences arrived.
  DatedRecord records[kTickRecordCapacity] = {};
  int recordCount = 0;
  // The part of a sentence the previous read ended inside, from its '$',
  // which the next read completes: at 9600 baud a sentence takes 75 ms on
  // the wire, so a read often ends inside one.
  char carriedLine[kLineBytes] = {};
  size_t carriedBytes = 0;
  // The time and date fields of the latest record kept, so that a second RMC
  // of the same fix (another talker's, in the same cycle) is recorded once.
  char keptTime[kFieldSlotBytes] = {};
  char keptDate[kFixDateBytes] = {};
};

extern GpsIntake gpsIntake;

// Back to the start state (no carried text, no records, nothing kept); tests
// and the import tool run many streams in one process.
void resetGpsIntake();

// Puts the sentence the previous read ended inside at the start of `buffer`
// (which holds kLineBytes at least) and returns its length; the next read
// goes right after it.
size_t placeCarriedLine(char* buffer);

// One tick's text: the carried part and what the read brought, `bytes` in
// all, NUL bytes included (a NUL ends nothing). Parses every complete
// sentence into gpsIntake.records (emptied first) and keeps the sentence
// the text ends inside for the next tick.
void takeTickText(const char* text, size_t bytes);

// Whether a line is an RMC sentence of a GNSS talker: "$GPRMC," "$GNRMC,"
// "$GLRMC," "$GARMC," "$GBRMC," or "$BDRMC,", case-sensitive.
bool isRmcLine(const char* line);

// Whether a line's checksum holds: true for a line without one (no '*'),
// false when the text after the last '*' is not the two hex digits of the
// XOR of everything between the '$' and that '*'.
bool rmcChecksumHolds(const char* line);

// Parses one RMC line (NUL-terminated, from its '$', without its CR LF). A
// line that carries a valid fix of its own adds one record to
// gpsIntake.records: status A, a checksum that holds (or none), its own
// time, both coordinates, both hemisphere letters and a date of six digits,
// and not the time and date of the record kept last. Any other line changes
// nothing.
void parseRmcLine(const char* line);

// Whether a date is a whole day's name: exactly six digits.
bool fixDateComplete(const char* fixDate);
