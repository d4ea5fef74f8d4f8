// vellumtrace-tool import, run as a process against a device image: NMEA
// logs into the day files by the recorder's rules, one line at a time.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "tests/geotag/track_log.h"
#include "tests/gps/track_model.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/nmea_capture.h"
#include "tests/support/program_process.h"

namespace {

// The day files the recorder would write reading each line as a tick.
TrackModel lineByLine(const std::vector<std::string>& lines) {
  TrackModel model;
  for (const std::string& line : lines) model.tick(line + "\r\n");
  return model;
}

class ImportToolTest : public DeviceImageTest {};

TEST_F(ImportToolTest, FixesGoIntoTheirDaysByTheRecordersRulesAndAreAppended) {
  const std::string telit = capturePath("telit-he910.log");
  TrackModel model = lineByLine(readCaptureLines(telit));
  ASSERT_EQ(1u, model.files().size());
  const auto& [name, records] = *model.files().begin();
  ASSERT_EQ(187u, records.size() / 14);  // every status-A fix of the capture
  const std::string before = TrackModel::record(1, 1.0f, 'N', 2.0f, 'E');
  mkdir(trackLogFolder(*image).c_str(), 0777);
  ASSERT_TRUE(writeWholeFile(trackLogFolder(*image) + "/" + name, before));

  // Two files: the capture (LF line ends) and a log with CR LF ends, a void
  // fix between two valid ones and a damaged line.
  const std::string own = image->path("own.nmea");
  ASSERT_TRUE(writeWholeFile(own,
      "$GNRMC,120000,A,4807.038,N,01131.000,E,0,0,230394,,,A\r\n"
      "$GPRMC,120001,V,4807.038,N,01131.000,E,0,0,230394,,,A\r\n"
      "$GPRMC,120002,A,4807.038,N,01131.000,E,0,0,230394,,,A*00\r\n"
      "$GPRMC,120003,A,4807.040,N,01131.002,E,0,0,230394,,,A\r\n"));
  ToolRun r = runTool({"import", "--root", image->root(), telit, own});
  EXPECT_EQ(0, r.status) << r.err;
  std::string expected;
  for (const auto& [day, count] : std::map<std::string, int>{{name, 187}, {"230394.log", 2}})
    expected += day + ": " + std::to_string(count) + " fixes\n";
  EXPECT_EQ(expected, r.out);
  EXPECT_EQ(before + records, readWholeFile(trackLogFolder(*image) + "/" + name));
  EXPECT_EQ(TrackModel::record(43200, 4807.038f, 'N', 1131.0f, 'E') +
                TrackModel::record(43203, 4807.040f, 'N', 1131.002f, 'E'),
            readWholeFile(logPath(*image, "230394")));
}

TEST_F(ImportToolTest, BadArgumentsAndUnreadableFilesAreErrors) {
  ToolRun r = runTool({"import", "--root", image->root()});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("vellumtrace-tool import: no NMEA file named\n"
            "usage: vellumtrace-tool import [--root DIR] FILE...\n", r.err);
  EXPECT_EQ(2, runTool({"import", "--frobnicate", "x"}).status);
  r = runTool({"import", "--root", image->root(), image->path("missing.nmea")});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("vellumtrace-tool import: " + image->path("missing.nmea") +
                ": No such file or directory\n", r.err);
  EXPECT_EQ("no fixes\n", r.out);
}

}  // namespace
