// vellumtrace-tool gpx: the day files as one GPX 1.1 track on standard
// output, a track segment per day, so that desktop tools (gpsbabel, exiftool
// -geotag, map viewers) can read what the device recorded. A fix carries the
// date of its file and the time of its record, in UTC, and its position in
// signed decimal degrees. Records that hold no time of the day or no usable
// position cannot be a track point; they are left out and counted.
#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/tool/commands.h"
#include "tools/tool/day_logs.h"

namespace {

const char kGpxUsage[] = "[--root DIR] [DDMMYY...]";

// Seven decimals of a degree are about a centimetre, finer than the
// receiver's four decimals of a minute. to_chars gives printf's digits at a
// fraction of its cost (printf was two thirds of the time of a day's export).
void appendDegrees(double degrees, std::string* out) {
  char text[32];
  const std::to_chars_result r =
      std::to_chars(text, text + sizeof text, degrees, std::chars_format::fixed, 7);
  out->append(text, static_cast<size_t>(r.ptr - text));
}

void appendTrackPoint(const char* date, const TrackRecord& r, std::string* out) {
  char time[9];
  double lat, lon;
  if (!formatDayTime(r.utcSeconds, time) || !latitudeDegrees(r.latitude, r.latRef, &lat) ||
      !longitudeDegrees(r.longitude, r.lonRef, &lon))
    return;
  out->append("      <trkpt lat=\"");
  appendDegrees(lat, out);
  out->append("\" lon=\"");
  appendDegrees(lon, out);
  out->append("\"><time>");
  out->append(date);
  out->append(time);
  out->append("Z</time></trkpt>\n");
}

}  // namespace

int gpxCommand(int argc, char** argv) {
  std::vector<DayName> days;
  int status = parseDayArguments("gpx", kGpxUsage, argc, argv, &days);
  if (status >= 0) return status;

  fputs(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"vellumtrace-tool\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\""
      " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
      " xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
      "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n",
      stdout);
  if (!days.empty()) fputs("  <trk>\n    <name>vellumtrace</name>\n", stdout);
  // Each day is read and written a block at a time: the output goes out as
  // it is made, and memory stays the same whatever the log's size.
  std::string out;
  out.reserve(1 << 17);
  auto writeOut = [&out] {
    fwrite(out.data(), 1, out.size(), stdout);
    out.clear();
  };
  for (const DayName& day : days) {
    char date[16];  // 2026-03-06T
    snprintf(date, sizeof date, "%04d-%02d-%02dT", day.year, day.month, day.day);
    size_t points = 0, records = 0;
    bool opened = false;
    DayRead read = readDayLogInBlocks(
        "gpx", day,
        [&](const TrackRecord* r, size_t n) {
          if (!opened) out += "    <trkseg>\n";
          opened = true;
          for (size_t i = 0; i < n; ++i) {
            const size_t before = out.size();
            appendTrackPoint(date, r[i], &out);
            if (out.size() != before) points++;
          }
          records += n;
          if (out.size() >= (1 << 16)) writeOut();
        },
        nullptr);
    if (read != DayRead::Whole) status = 1;
    if (read == DayRead::Missing || (!opened && read == DayRead::CutShort)) continue;
    if (!opened) out += "    <trkseg>\n";  // a day without records
    out += "    </trkseg>\n";
    writeOut();
    if (points != records)
      fprintf(
          stderr,
          "vellumtrace-tool gpx: %s.log: %zu of %zu records hold no time or position; left out\n",
          day.ddmmyy.c_str(), records - points, records);
  }
  if (!days.empty()) fputs("  </trk>\n", stdout);
  fputs("</gpx>\n", stdout);
  if (fflush(stdout) != 0) {
    perror("vellumtrace-tool gpx: standard output");
    return 1;
  }
  return status < 0 ? 0 : status;
}
