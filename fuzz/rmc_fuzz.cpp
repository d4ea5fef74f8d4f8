// Receiver text of any shape through the line splitting and the RMC parser,
// as the worker's tick reads it: the input goes into the read buffer the way
// the port's read would put it (at most 65,534 bytes), after the sentence the
// last tick ended inside, across a few ticks so an unfinished sentence
// carries over. Nothing may be read or written outside the intake's
// buffers, the carried text must stay under the line limit, and each record
// must hold what an RMC sentence can give, dated by six digits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "gps/gps_worker.h"
#include "gps/nmea_intake.h"
#include "gps/track_record.h"

namespace {

constexpr int32_t kEarliestSeconds = -9 * 3600 - 9 * 60 - 9;
constexpr int32_t kLatestSeconds = 99 * 3600 + 99 * 60 + 99;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  resetGpsIntake();
  // A 0xFF byte splits the input into the reads of successive ticks.
  size_t start = 0;
  while (start <= size) {
    const uint8_t* cut = static_cast<const uint8_t*>(memchr(data + start, 0xFF, size - start));
    size_t end = cut ? static_cast<size_t>(cut - data) : size;
    size_t n = end - start;
    // The sentence the last tick ended inside comes first, as in the tick.
    size_t carried = placeCarriedLine(gpsWorker.readBuffer);
    if (n > kReadRequestBytes - carried) n = kReadRequestBytes - carried;
    memcpy(gpsWorker.readBuffer + carried, data + start, n);
    takeTickText(gpsWorker.readBuffer, carried + n);
    if (gpsIntake.carriedBytes >= kLineBytes) abort();
    if (gpsIntake.recordCount < 0 || gpsIntake.recordCount > kTickRecordCapacity) abort();
    for (int i = 0; i < gpsIntake.recordCount; ++i) {
      if (!fixDateComplete(gpsIntake.records[i].date)) abort();
      const TrackRecord r = decodeTrackRecord(gpsIntake.records[i].bytes);
      // Each part of the time is at most two characters read as a number
      // ("-9" to "99"), and a hemisphere letter is the first character of a
      // field, which never holds the comma that ended it.
      if (r.utcSeconds < kEarliestSeconds || r.utcSeconds > kLatestSeconds) abort();
      if (r.latRef == ',' || r.lonRef == ',') abort();
    }
    if (!cut) break;
    start = end + 1;
  }
  return 0;
}
