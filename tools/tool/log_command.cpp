// vellumtrace-tool log: the records of the day files as CSV, for people and
// scripts. Each line gives the date (from the file's name), the time and the
// position in signed decimal degrees, then the record's raw values as the
// file holds them, so that a damaged record can still be looked at: its
// time or degrees are left empty where they cannot be, its raw values never.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/tool/commands.h"
#include "tools/tool/day_logs.h"

namespace {

const char kLogUsage[] = "[--root DIR] [DDMMYY...]";

// A hemisphere byte as text: the letter, empty for 0, hex for anything else
// (never a comma or a quote that would break the line).
std::string refText(char ref) {
  if (ref == 0) return "";
  if ((ref >= 'A' && ref <= 'Z') || (ref >= 'a' && ref <= 'z')) return std::string(1, ref);
  char hex[8];
  snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(ref));
  return hex;
}

std::string degreesText(bool ok, double degrees) {
  if (!ok) return "";
  char text[32];
  snprintf(text, sizeof text, "%.7f", degrees);
  return text;
}

}  // namespace

int logCommand(int argc, char** argv) {
  std::vector<DayName> days;
  int status = parseDayArguments("log", kLogUsage, argc, argv, &days);
  if (status >= 0) return status;

  // %.9g gives back the very float the record holds.
  fputs(
      "date,time,latitude,longitude,utc_seconds,packed_latitude,lat_ref,packed_longitude,lon_ref\n",
      stdout);
  DayLog log;
  for (const DayName& day : days) {
    if (!readDayLog("log", day, &log)) status = 1;
    char date[16];
    snprintf(date, sizeof date, "%04d-%02d-%02d", day.year, day.month, day.day);
    for (const TrackRecord& r : log.records) {
      char time[9] = "";
      formatDayTime(r.utcSeconds, time);
      double lat = 0, lon = 0;
      const bool latOk = latitudeDegrees(r.latitude, r.latRef, &lat);
      const bool lonOk = longitudeDegrees(r.longitude, r.lonRef, &lon);
      printf("%s,%s,%s,%s,%d,%.9g,%s,%.9g,%s\n", date, time, degreesText(latOk, lat).c_str(),
             degreesText(lonOk, lon).c_str(), r.utcSeconds, static_cast<double>(r.latitude),
             refText(r.latRef).c_str(), static_cast<double>(r.longitude),
             refText(r.lonRef).c_str());
    }
  }
  if (fflush(stdout) != 0) {
    perror("vellumtrace-tool log: standard output");
    return 1;
  }
  return status < 0 ? 0 : status;
}
