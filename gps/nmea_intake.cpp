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
#include "gps/recorder_notices.h"
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
  memset(gpsIntake.carriedLine, 0, sizeof gpsIntake.carriedLine);
  gpsIntake.carriedBytes = 0;
  gpsIntake.skippingLongLine = false;
  memset(gpsIntake.keptTime, 0, sizeof gpsIntake.keptTime);
  memset(gpsIntake.keptDate, 0, sizeof gpsIntake.keptDate);
}

HANDLE openGpsPort(LPCWSTR* failureText) {
  HANDLE port = CreateFileW(u"Com1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  // A failed open shows up as a failed SetCommState: the invalid handle is
  // refused there. Its reason is kept for the debug output first.
  if (port == INVALID_HANDLE_VALUE) notePortFailure();
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
    if (port != INVALID_HANDLE_VALUE) {
      notePortFailure();
      CloseHandle(port);
    }
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
    notePortFailure();
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

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool isRmcLine(const char* line) {
  static const char kTalkers[][3] = {"GP", "GN", "GL", "GA", "GB", "BD"};
  if (line[0] != '$' || strncmp(line + 3, "RMC,", 4) != 0) return false;
  for (const char* talker : kTalkers)
    if (line[1] == talker[0] && line[2] == talker[1]) return true;
  return false;
}

bool rmcChecksumHolds(const char* line) {
  const char* star = strrchr(line, '*');
  if (!star) return true;
  int high = hexDigit(star[1]);
  int low = high < 0 ? -1 : hexDigit(star[2]);
  if (low < 0 || star[3] != 0) return false;
  unsigned sum = 0;
  for (const char* c = line + 1; c < star; ++c) sum ^= static_cast<unsigned char>(*c);
  return sum == static_cast<unsigned>(high * 16 + low);
}

void parseRmcLine(const char* line) {
  // A flipped bit on the line moves a fix anywhere; a sentence that carries
  // a checksum and fails it changes nothing.
  if (!rmcChecksumHolds(line)) return;

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
  int stored = 0;
  for (; stored < kFieldSlotCount; ++stored) {
    const char* comma = strchr(field, ',');
    if (!comma) break;
    size_t length = static_cast<size_t>(comma - field);
    memcpy(gpsIntake.fieldSlots[stored], field, length);
    gpsIntake.fieldSlots[stored][length] = 0;
    field = comma + 1;
  }
  char(*slot)[kFieldSlotBytes] = gpsIntake.fieldSlots;

  // The date is the first six characters of field 9.
  strncpy(gpsIntake.fixDate, slot[9], 6);
  gpsIntake.fixDate[6] = 0;

  // A status other than 'A' (a fix the receiver does not vouch for) drops
  // every record of the tick so far, and the date with them.
  if (slot[2][0] != 'A') {
    gpsIntake.fixDate[0] = 0;
    gpsIntake.recordBytes = 0;
    gpsIntake.keptTime[0] = 0;
    return;
  }
  // A fix needs its own time and position: a line that stops early or
  // leaves one of them empty would take them from an earlier line's slots.
  if (stored <= 6) return;
  for (int k : {1, 3, 4, 5, 6})
    if (slot[k][0] == 0) return;
  // The same fix again (another talker's RMC in the same cycle).
  if (strcmp(slot[1], gpsIntake.keptTime) == 0 &&
      strcmp(gpsIntake.fixDate, gpsIntake.keptDate) == 0)
    return;

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

  // The record joins the tick's. The buffer holds 4,681 records, more than
  // a whole read of the shortest fix lines can bring; the test only keeps
  // the writes inside it.
  if (static_cast<size_t>(gpsIntake.recordBytes) + kTrackRecordBytes <= kRecordBufferBytes) {
    encodeTrackRecord(record, gpsIntake.recordBuffer + gpsIntake.recordBytes);
    gpsIntake.recordBytes += kTrackRecordBytes;
    memcpy(gpsIntake.keptTime, slot[1], kFieldSlotBytes);
    memcpy(gpsIntake.keptDate, gpsIntake.fixDate, kFixDateBytes);
  }
}

const char* splitNmeaLines(const char* text) {
  const char* cursor = text;
  for (;;) {
    const char* end = strstr(cursor, "\r\n");
    if (!end) return cursor;
    size_t length = static_cast<size_t>(end - cursor);
    const char* line = cursor;
    cursor = end + 2;
    if (gpsIntake.skippingLongLine) {
      // The end of a line that was already too long when a read ended.
      gpsIntake.skippingLongLine = false;
      continue;
    }
    if (length >= kLineBytes) continue;  // longer than any sentence: skipped
    memcpy(gpsIntake.lineBuffer, line, length);
    gpsIntake.lineBuffer[length] = 0;
    if (isRmcLine(gpsIntake.lineBuffer)) parseRmcLine(gpsIntake.lineBuffer);
  }
}

size_t placeCarriedLine(char* buffer) {
  size_t n = gpsIntake.carriedBytes;
  memcpy(buffer, gpsIntake.carriedLine, n);
  gpsIntake.carriedBytes = 0;
  return n;
}

void takeTickText(const char* text, size_t bytes) {
  const char* rest = splitNmeaLines(text);
  size_t restBytes = strlen(rest);
  // A NUL before the end of what was read ended the text: the line it cut
  // cannot be completed by the next read.
  if (static_cast<size_t>(rest - text) + restBytes != bytes) return;
  if (gpsIntake.skippingLongLine || restBytes >= kLineBytes) {
    // Still inside a line too long for any sentence: the rest of it, up to
    // its CR LF, is skipped as well.
    if (restBytes > 0) gpsIntake.skippingLongLine = true;
    return;
  }
  memcpy(gpsIntake.carriedLine, rest, restBytes);
  gpsIntake.carriedBytes = restBytes;
}

void runGpsTick() {
  // Fresh buffers for this tick's text and records.
  memset(gpsIntake.readBuffer, 0, kReadClearBytes);
  memset(gpsIntake.recordBuffer, 0, kRecordClearBytes);
  gpsIntake.recordBytes = 0;
  // Whatever has arrived, after the line the last read left unfinished;
  // the text ends at its first NUL.
  size_t carried = placeCarriedLine(gpsIntake.readBuffer);
  DWORD got = 0;
  if (!ReadFile(gpsIntake.port, gpsIntake.readBuffer + carried,
                kReadRequestBytes - static_cast<DWORD>(carried), &got, nullptr) ||
      got > kReadRequestBytes - carried) {
    // A failed read (the receiver pulled out) breaks the line off: what was
    // carried cannot be continued by what comes after.
    memset(gpsIntake.readBuffer, 0, carried);
    carried = 0;
    got = 0;
  }
  // The log folder normally exists already (it is the install folder).
  CreateDirectoryW(kTrackLogFolder, nullptr);
  takeTickText(gpsIntake.readBuffer, carried + got);
  appendTrackRecords(gpsIntake.fixDate, gpsIntake.recordBuffer, gpsIntake.recordBytes);
  // The card check runs after the log step, whatever the log step did.
  checkCard();
}
