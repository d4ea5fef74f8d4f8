#include "tools/photogen/nmea_fixes.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>

namespace {

std::vector<std::string> splitFields(const std::string& line) {
  std::vector<std::string> fields;
  std::string current;
  for (char c : line) {
    if (c == '*' || c == '\r' || c == '\n') break;
    if (c == ',') {
      fields.push_back(current);
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  fields.push_back(current);
  return fields;
}

bool digits(const std::string& s, size_t n) {
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (!isdigit(static_cast<unsigned char>(s[i]))) return false;
  return true;
}

int twoDigits(const std::string& s, size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

}  // namespace

std::vector<CaptureFix> readCaptureFixes(const std::string& path) {
  std::vector<CaptureFix> fixes;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    const size_t at = line.find("$GPRMC,");
    if (at == std::string::npos) continue;
    const std::vector<std::string> f = splitFields(line.substr(at));
    if (f.size() < 10 || f[2] != "A" || !digits(f[1], 6) || f[9].size() != 6 || !digits(f[9], 6))
      continue;
    CaptureFix fix;
    fix.secondsOfDay = twoDigits(f[1], 0) * 3600 + twoDigits(f[1], 2) * 60 + twoDigits(f[1], 4);
    fix.day = twoDigits(f[9], 0);
    fix.month = twoDigits(f[9], 2);
    fix.year = 2000 + twoDigits(f[9], 4);
    fixes.push_back(fix);
  }
  return fixes;
}

std::string cameraTimeOf(const CaptureFix& fix) {
  tm t = {};
  t.tm_year = fix.year - 1900;
  t.tm_mon = fix.month - 1;
  t.tm_mday = fix.day;
  t.tm_sec = fix.secondsOfDay + 10800;
  const time_t when = timegm(&t);
  tm camera;
  gmtime_r(&when, &camera);
  char text[80];
  snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", camera.tm_year + 1900,
           camera.tm_mon + 1, camera.tm_mday, camera.tm_hour, camera.tm_min, camera.tm_sec);
  return text;
}
