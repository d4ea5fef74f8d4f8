// NMEA intake: the line splitting and the RMC parser.
//
// The text of a tick is taken by its length, not up to a NUL: receivers that
// mix a binary protocol into their NMEA output send NUL bytes between the
// sentences, and a NUL must not cost the sentences after it. A line is what
// lies between two CR LFs; its sentence starts at its last '$' (a '$' never
// occurs inside a sentence) and must be printable ASCII throughout, so bytes
// of a binary frame never become part of one.
#include "gps/nmea_intake.h"

#include <cstdlib>
#include <initializer_list>
#include <cstring>

GpsIntake gpsIntake;

void resetGpsIntake() {
  memset(gpsIntake.lineBuffer, 0, sizeof gpsIntake.lineBuffer);
  memset(gpsIntake.fieldSlots, 0, sizeof gpsIntake.fieldSlots);
  gpsIntake.fieldCount = 0;
  memset(gpsIntake.timeParts, 0, sizeof gpsIntake.timeParts);
  gpsIntake.recordCount = 0;
  memset(gpsIntake.carriedLine, 0, sizeof gpsIntake.carriedLine);
  gpsIntake.carriedBytes = 0;
  memset(gpsIntake.keptTime, 0, sizeof gpsIntake.keptTime);
  memset(gpsIntake.keptDate, 0, sizeof gpsIntake.keptDate);
}

bool fixDateComplete(const char* fixDate) {
  for (int i = 0; i < 6; ++i)
    if (fixDate[i] < '0' || fixDate[i] > '9') return false;
  return fixDate[6] == 0;
}

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

// The last '$' of n bytes, or nullptr.
const char* lastDollar(const char* bytes, size_t n) {
  while (n > 0)
    if (bytes[--n] == '$') return bytes + n;
  return nullptr;
}

// Field k of the line being parsed; empty when the line stops before it.
const char* field(int k) { return k < gpsIntake.fieldCount ? gpsIntake.fieldSlots[k] : ""; }

// Splits the line at its commas into the field slots. The text after the
// last comma (in an RMC sentence the last field with its checksum) is not
// stored. False, with the slots unusable, when a field does not fit its
// slot: no sentence has such a field.
bool splitFields(const char* line) {
  gpsIntake.fieldCount = 0;
  const char* at = line;
  while (gpsIntake.fieldCount < kFieldSlotCount) {
    const char* comma = strchr(at, ',');
    if (!comma) break;
    size_t length = static_cast<size_t>(comma - at);
    if (length >= kFieldSlotBytes) return false;
    memcpy(gpsIntake.fieldSlots[gpsIntake.fieldCount], at, length);
    gpsIntake.fieldSlots[gpsIntake.fieldCount][length] = 0;
    ++gpsIntake.fieldCount;
    at = comma + 1;
  }
  return true;
}

// The sentence of one line, from its last '$' to the end (the CR LF already
// cut off), to the parser when it is a whole printable RMC sentence.
void takeLine(const char* line, size_t length) {
  const char* dollar = lastDollar(line, length);
  if (!dollar) return;
  size_t n = length - static_cast<size_t>(dollar - line);
  if (n >= kLineBytes) return;  // longer than any sentence
  for (size_t i = 0; i < n; ++i)
    if (dollar[i] < 0x20 || dollar[i] > 0x7E) return;  // a binary byte: not a sentence
  memcpy(gpsIntake.lineBuffer, dollar, n);
  gpsIntake.lineBuffer[n] = 0;
  if (isRmcLine(gpsIntake.lineBuffer)) parseRmcLine(gpsIntake.lineBuffer);
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

// $GPRMC,093015.00,A,5545.1234,N,03737.5678,E,0.13,309.62,060326,,,A*54
//   1  093015.00   UTC time hhmmss(.ss)           -> utcSeconds
//   2  A           status: A valid, V void        -> a record only for A
//   3  5545.1234   latitude ddmm.mmmm             -> latitude, packed as sent
//   4  N           N or S                         -> latRef
//   5  03737.5678  longitude dddmm.mmmm           -> longitude, packed as sent
//   6  E           E or W                         -> lonRef
//   7  0.13        speed over ground, knots       (not used)
//   8  309.62      course over ground, degrees    (not used)
//   9  060326      UTC date ddmmyy                -> the day file, 060326.log
//  10, 11          magnetic variation and its E/W (not used)
//  12  A           mode (NMEA 2.3 and later)      (not used)
//  *54             XOR of the bytes between '$' and '*', two hex digits
void parseRmcLine(const char* line) {
  // A flipped bit moves a fix anywhere: a checksum that fails costs the line.
  if (!rmcChecksumHolds(line)) return;
  if (!splitFields(line)) return;

  // A fix the receiver does not vouch for, or that lacks a part of its own,
  // gives nothing. The date must be six digits: it names the day file, and
  // a fix filed under another sentence's date would be a day off at
  // midnight.
  if (field(2)[0] != 'A') return;
  for (int k : {1, 3, 4, 5, 6})
    if (field(k)[0] == 0) return;
  char date[kFixDateBytes] = {};
  const char* dateField = field(9);
  memcpy(date, dateField, strnlen(dateField, kFixDateBytes - 1));
  if (!fixDateComplete(date)) return;
  // The same fix again (another talker's RMC in the same cycle).
  if (strcmp(field(1), gpsIntake.keptTime) == 0 && strcmp(date, gpsIntake.keptDate) == 0) return;
  if (gpsIntake.recordCount >= kTickRecordCapacity) return;

  // The time, hhmmss, is read as three pairs; a fraction of a second is
  // ignored.
  const char* time = field(1);
  size_t timeLength = strlen(time);
  int hours = timePart(time, timeLength, 0, gpsIntake.timeParts[0]);
  int minutes = timePart(time, timeLength, 2, gpsIntake.timeParts[1]);
  int seconds = timePart(time, timeLength, 4, gpsIntake.timeParts[2]);

  // The position stays in the NMEA packed form (degrees x 100 + minutes).
  TrackRecord record;
  record.utcSeconds = hours * 3600 + minutes * 60 + seconds;
  record.latitude = static_cast<float>(atof(field(3)));
  record.latRef = field(4)[0];
  record.longitude = static_cast<float>(atof(field(5)));
  record.lonRef = field(6)[0];

  DatedRecord& out = gpsIntake.records[gpsIntake.recordCount++];
  memcpy(out.date, date, kFixDateBytes);
  encodeTrackRecord(record, out.bytes);
  memcpy(gpsIntake.keptTime, time, timeLength + 1);
  memcpy(gpsIntake.keptDate, date, kFixDateBytes);
}

size_t placeCarriedLine(char* buffer) {
  size_t n = gpsIntake.carriedBytes;
  memcpy(buffer, gpsIntake.carriedLine, n);
  gpsIntake.carriedBytes = 0;
  return n;
}

void takeTickText(const char* text, size_t bytes) {
  gpsIntake.recordCount = 0;
  const char* cursor = text;
  const char* end = text + bytes;
  auto nextCr = [end](const char* from) {
    return static_cast<const char*>(memchr(from, '\r', static_cast<size_t>(end - from)));
  };
  for (;;) {
    // The next CR LF; a lone CR (a binary byte) ends nothing.
    const char* cr = nextCr(cursor);
    while (cr && cr + 1 < end && cr[1] != '\n') cr = nextCr(cr + 1);
    if (!cr || cr + 1 >= end) break;
    takeLine(cursor, static_cast<size_t>(cr - cursor));
    cursor = cr + 2;
  }
  // The rest holds the start of a sentence the next read completes, from
  // its last '$'; without one there is nothing to complete. A rest too long
  // for a sentence is dropped: its end, up to the CR LF, then holds no '$'
  // and is skipped as well.
  size_t rest = static_cast<size_t>(end - cursor);
  const char* dollar = lastDollar(cursor, rest);
  if (!dollar) return;
  size_t n = rest - static_cast<size_t>(dollar - cursor);
  if (n >= kLineBytes) return;
  memcpy(gpsIntake.carriedLine, dollar, n);
  gpsIntake.carriedBytes = n;
}
