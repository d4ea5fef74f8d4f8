// Writes day logs of 14-byte track records into a test's device image.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/device_image_fixture.h"

struct TestRecord {
  int32_t seconds;
  float latitude = 5545.1234f;
  char latRef = 'N';
  float longitude = 3737.5678f;
  char lonRef = 'E';
};

inline std::string recordBytes(const TestRecord& r) {
  char b[14];
  memcpy(b, &r.seconds, 4);
  memcpy(b + 4, &r.latitude, 4);
  b[8] = r.latRef;
  memcpy(b + 9, &r.longitude, 4);
  b[13] = r.lonRef;
  return std::string(b, 14);
}

inline std::string logPath(const TempDeviceImage& image, const std::string& ddmmyy) {
  return image.path("ResidentFlash/vellumtrace/" + ddmmyy + ".log");
}

inline void writeTrackLog(const TempDeviceImage& image, const std::string& ddmmyy,
                          const std::vector<TestRecord>& records, const std::string& tail = "") {
  std::string bytes;
  for (const TestRecord& r : records) bytes += recordBytes(r);
  ::mkdir(image.path("ResidentFlash/vellumtrace").c_str(), 0777);
  writeWholeFile(logPath(image, ddmmyy), bytes + tail);
}
