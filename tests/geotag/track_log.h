// Writes day logs of 14-byte track records into a test's device image.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gps/track_record.h"
#include "platform/core/wide_text.h"
#include "tests/support/device_image_fixture.h"

struct TestRecord {
  int32_t seconds;
  float latitude = 5545.1234f;
  char latRef = 'N';
  float longitude = 3737.5678f;
  char lonRef = 'E';
};

inline std::string recordBytes(const TestRecord& r) {
  BYTE b[kTrackRecordBytes];
  encodeTrackRecord(TrackRecord{r.seconds, r.latitude, r.latRef, r.longitude, r.lonRef}, b);
  return std::string(reinterpret_cast<const char*>(b), sizeof b);
}

// Where a CE path of the object store lies in `image`: \A\B is ROOT/A/B.
inline std::string inImage(const TempDeviceImage& image, LPCWSTR cePath) {
  std::string path = utf8FromUtf16(cePath);
  for (char& c : path)
    if (c == '\\') c = '/';
  return image.root() + path;
}

inline std::string trackLogFolder(const TempDeviceImage& image) {
  return inImage(image, kTrackLogFolder);
}

inline std::string logPath(const TempDeviceImage& image, const std::string& ddmmyy) {
  WCHAR path[64];
  trackLogPath(ddmmyy.c_str(), path, 64);
  return inImage(image, path);
}

inline void writeTrackLog(const TempDeviceImage& image, const std::string& ddmmyy,
                          const std::vector<TestRecord>& records, const std::string& tail = "") {
  std::string bytes;
  for (const TestRecord& r : records) bytes += recordBytes(r);
  ::mkdir(trackLogFolder(image).c_str(), 0777);
  writeWholeFile(logPath(image, ddmmyy), bytes + tail);
}
