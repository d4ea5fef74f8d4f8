#include "tests/support/nmea_capture.h"

#include <fstream>
#include <set>

#include "tests/support/test_data.h"

namespace {

std::vector<std::string> splitCommas(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t comma = line.find(',', start);
    out.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

// The UTC time a sentence reports, if its type carries one; `has` is false
// for sentences without a time field.
std::string sentenceTime(const std::string& type, const std::vector<std::string>& fields,
                         bool* has) {
  size_t index = 0;
  std::string t = type.size() >= 6 ? type.substr(3, 3) : "";
  if (t == "GGA" || t == "RMC" || t == "ZDA" || t == "GNS" || t == "GST") index = 1;
  else if (t == "GLL") index = 5;
  *has = index != 0;
  if (!*has) return "";
  return index < fields.size() ? fields[index] : "";
}

}  // namespace

std::vector<std::string> readCaptureLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    lines.push_back(line);
  }
  return lines;
}

std::string captureWireBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes, line;
  while (std::getline(in, line)) {
    if (!line.empty() && line[0] == '#') continue;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    bytes += line + "\r\n";
  }
  return bytes;
}

std::vector<std::string> cycleBursts(const std::vector<std::string>& lines) {
  std::vector<std::string> bursts;
  std::string burst;
  std::set<std::string> types;
  bool haveTime = false;
  std::string cycleTime;
  for (const std::string& line : lines) {
    if (!line.empty() && line[0] == '$') {
      std::vector<std::string> fields = splitCommas(line);
      const std::string& type = fields[0];
      bool hasTime = false;
      std::string time = sentenceTime(type, fields, &hasTime);
      bool satelliteView = type.size() >= 6 && type.compare(3, 3, "GSV") == 0;
      bool newCycle = (!satelliteView && types.count(type)) ||
                      (satelliteView && fields.size() > 2 && fields[2] == "1" && types.count(type)) ||
                      (hasTime && haveTime && time != cycleTime);
      if (newCycle && !burst.empty()) {
        bursts.push_back(burst);
        burst.clear();
        types.clear();
        haveTime = false;
      }
      types.insert(type);
      if (hasTime && !haveTime) {
        haveTime = true;
        cycleTime = time;
      }
    }
    burst += line + "\r\n";
  }
  if (!burst.empty()) bursts.push_back(burst);
  return bursts;
}

std::vector<std::string> captureBursts(const std::string& path) {
  return cycleBursts(readCaptureLines(path));
}

std::string capturePath(const std::string& name) { return testDataPath("nmea/" + name); }
