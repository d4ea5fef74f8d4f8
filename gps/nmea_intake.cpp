// The worker's tick: read the receiver's text, split it into lines, turn each
// $GPRMC fix into a track record and hand the tick's records to the log.
//
// Text is 8-bit and NUL-terminated throughout: the read buffer is cleared
// before each read and the read asks for two bytes less than the buffer, so
// the scan always meets a NUL inside it, and a NUL the receiver sent ends the
// tick's text early.
#include "gps/nmea_intake.h"

#include <cstdlib>
#include <cstring>

#include "card/card_check.h"
#include "gps/track_log.h"
#include "gps/track_record.h"
#include "platform/ce.h"
#include "platform/core/handles.h"

GpsIntake gpsIntake;

void resetGpsIntake() {
  gpsIntake.port = nullptr;
  memset(gpsIntake.readBuffer, 0, sizeof gpsIntake.readBuffer);
  memset(gpsIntake.lineBuffer, 0, sizeof gpsIntake.lineBuffer);
  memset(gpsIntake.fieldSlots, 0, sizeof gpsIntake.fieldSlots);
  memset(gpsIntake.timeParts, 0, sizeof gpsIntake.timeParts);
  memset(gpsIntake.fixDate, 0, sizeof gpsIntake.fixDate);
  memset(gpsIntake.recordBuffer, 0, sizeof gpsIntake.recordBuffer);
  gpsIntake.recordBytes = 0;
}

HANDLE openGpsPort(LPCWSTR* failureText) {
  HANDLE port = CreateFileW(u"Com1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  // A failed open shows up as a failed SetCommState: the invalid handle is
  // refused there.
  DCB dcb = {};
  dcb.DCBlength = sizeof(DCB);
  dcb.BaudRate = CBR_9600;
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 1;
  dcb.fOutX = 0;
  dcb.fInX = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = 0;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  if (!SetCommState(port, &dcb)) {
    if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
    *failureText = u"Unable to configure the serial port";
    return nullptr;
  }
  COMMTIMEOUTS timeouts = {};
  timeouts.ReadIntervalTimeout = MAXDWORD;  // with zero totals: return at once
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 0;
  timeouts.WriteTotalTimeoutMultiplier = 10;
  timeouts.WriteTotalTimeoutConstant = 1000;
  if (!SetCommTimeouts(port, &timeouts)) {
    CloseHandle(port);
    *failureText = u"Unable to set the time-out parameters";
    return nullptr;
  }
  return port;
}

bool fixDateComplete(const char* fixDate) { return strnlen(fixDate, kFixDateBytes) == 6; }

namespace {

// Reads up to two characters of the time field, starting at `from`, as a
// decimal number the way atoi does; characters past the field's end are
// absent.
int timePart(const char* field, size_t fieldLength, size_t from, char* part) {
  size_t n = 0;
  while (n < 2 && from + n < fieldLength) {
    part[n] = field[from + n];
    ++n;
  }
  part[n] = 0;
  return atoi(part);
}

}  // namespace

void parseRmcLine(const char* line) {
  // A field that does not fit its slot cannot belong to a sentence (NMEA
  // caps a whole sentence at 82 characters): skip the line before any slot
  // is touched, so one garbled line cannot leave half its fields behind.
  {
    const char* field = line;
    for (int k = 0; k < kFieldSlotCount; ++k) {
      const char* comma = strchr(field, ',');
      if (!comma) break;
      if (static_cast<size_t>(comma - field) >= kFieldSlotBytes) return;
      field = comma + 1;
    }
  }

  // Each comma ends a field, stored in its slot; the text after the last
  // comma is not stored.
  const char* field = line;
  for (int k = 0; k < kFieldSlotCount; ++k) {
    const char* comma = strchr(field, ',');
    if (!comma) break;
    size_t length = static_cast<size_t>(comma - field);
    memcpy(gpsIntake.fieldSlots[k], field, length);
    gpsIntake.fieldSlots[k][length] = 0;
    field = comma + 1;
  }
  char(*slot)[kFieldSlotBytes] = gpsIntake.fieldSlots;

  // The date is the first six characters of field 9.
  strncpy(gpsIntake.fixDate, slot[9], 6);
  gpsIntake.fixDate[6] = 0;

  // The time, hhmmss, is read as three pairs; a fraction of a second is
  // ignored.
  size_t timeLength = strlen(slot[1]);
  int hours = timePart(slot[1], timeLength, 0, gpsIntake.timeParts[0]);
  int minutes = timePart(slot[1], timeLength, 2, gpsIntake.timeParts[1]);
  int seconds = timePart(slot[1], timeLength, 4, gpsIntake.timeParts[2]);

  // The position stays in the NMEA packed form (degrees x 100 + minutes).
  TrackRecord record;
  record.utcSeconds = hours * 3600 + minutes * 60 + seconds;
  record.latitude = static_cast<float>(atof(slot[3]));
  record.latRef = slot[4][0];
  record.longitude = static_cast<float>(atof(slot[5]));
  record.lonRef = slot[6][0];

  // The record joins the tick's. The buffer holds 4,681 records; a receiver
  // at 9600 baud sends a few per tick, but a read of short garbage lines
  // could bring more, and those are dropped rather than written past the
  // buffer.
  if (static_cast<size_t>(gpsIntake.recordBytes) + kTrackRecordBytes <= kRecordBufferBytes) {
    encodeTrackRecord(record, gpsIntake.recordBuffer + gpsIntake.recordBytes);
    gpsIntake.recordBytes += kTrackRecordBytes;
  }

  // A status other than 'A' (a fix the receiver does not vouch for) drops
  // this record and every earlier one of the tick, and the date with them.
  if (slot[2][0] != 'A') {
    gpsIntake.fixDate[0] = 0;
    gpsIntake.recordBytes = 0;
  }
}

void splitNmeaLines(const char* text) {
  const char* cursor = text;
  for (;;) {
    const char* end = strstr(cursor, "\r\n");
    if (!end) return;
    size_t length = static_cast<size_t>(end - cursor);
    const char* line = cursor;
    cursor = end + 2;
    if (length >= kLineBytes) continue;  // longer than any sentence: skipped
    memcpy(gpsIntake.lineBuffer, line, length);
    gpsIntake.lineBuffer[length] = 0;
    if (strncmp(gpsIntake.lineBuffer, "$GPRMC,", 7) == 0) parseRmcLine(gpsIntake.lineBuffer);
  }
}

void runGpsTick() {
  // Fresh buffers for this tick's text and records.
  memset(gpsIntake.readBuffer, 0, kReadClearBytes);
  memset(gpsIntake.recordBuffer, 0, kRecordClearBytes);
  gpsIntake.recordBytes = 0;
  // Whatever has arrived; the text ends at its first NUL, so neither the
  // result nor the count is needed.
  DWORD got = 0;
  ReadFile(gpsIntake.port, gpsIntake.readBuffer, kReadRequestBytes, &got, nullptr);
  // The log folder normally exists already (it is the install folder).
  CreateDirectoryW(kTrackLogFolder, nullptr);
  splitNmeaLines(gpsIntake.readBuffer);
  appendTrackRecords(gpsIntake.fixDate, gpsIntake.recordBuffer, gpsIntake.recordBytes);
  // The card check runs after the log step, whatever the log step did.
  checkCard();
}
