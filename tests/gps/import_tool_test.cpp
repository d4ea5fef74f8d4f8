// vellumtrace-tool import, run as a process against a device image: NMEA
// logs into the day files by the recorder's rules, appended.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "tests/geotag/track_log.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/nmea_capture.h"
#include "tests/support/program_process.h"

namespace {

class ImportToolTest : public DeviceImageTest {};

// Two files: a receiver capture (LF line ends; its fixes are checked record
// by record by the capture tests) and a log with CR LF ends, a void fix, a
// damaged line and a fix of the day before, appended to what a day holds.
TEST_F(ImportToolTest, FixesGoIntoTheirDaysAndAreAppended) {
  const std::string before = recordBytes({1, 1.0f, 'N', 2.0f, 'E'});
  writeTrackLog(*image, "230394", {}, before);
  const std::string own = image->path("own.nmea");
  ASSERT_TRUE(writeWholeFile(own,
      "$GNRMC,120000,A,4807.038,N,01131.000,E,0,0,230394,,,A\r\n"
      "$GPRMC,120001,V,4807.038,N,01131.000,E,0,0,230394,,,A\r\n"
      "$GPRMC,120002,A,4807.038,N,01131.000,E,0,0,230394,,,A*00\r\n"
      "$GPRMC,235959,A,4807.039,N,01131.001,E,0,0,220394,,,A\r\n"
      "$GPRMC,120003,A,4807.040,N,01131.002,E,0,0,230394,,,A\r\n"));
  ToolRun r = runTool({"import", "--root", image->root(), capturePath("telit-he910.log"), own});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("120319.log: 187 fixes\n220394.log: 1 fixes\n230394.log: 2 fixes\n", r.out);
  EXPECT_EQ(before + recordBytes({43200, 4807.038f, 'N', 1131.0f, 'E'}) +
                recordBytes({43203, 4807.040f, 'N', 1131.002f, 'E'}),
            readWholeFile(logPath(*image, "230394")));
  EXPECT_EQ(recordBytes({86399, 4807.039f, 'N', 1131.001f, 'E'}), readWholeFile(logPath(*image, "220394")));
}

TEST_F(ImportToolTest, BadArgumentsAndUnreadableFilesAreErrors) {
  ToolRun r = runTool({"import", "--root", image->root()});
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("vellumtrace-tool import: no NMEA file named\n"
            "usage: vellumtrace-tool import [--root DIR] FILE... (- for standard input)\n", r.err);
  EXPECT_EQ(2, runTool({"import", "--frobnicate", "x"}).status);
  r = runTool({"import", "--root", image->root(), image->path("missing.nmea")});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("vellumtrace-tool import: " + image->path("missing.nmea") +
                ": No such file or directory\n", r.err);
  EXPECT_EQ("no fixes\n", r.out);
}

// What import makes of what it is given, run after run on one image: a log
// imported again adds nothing and says so, standard input is "-", and what
// is not a regular file is refused at once instead of waited on.
TEST_F(ImportToolTest, RepeatsStandardInputAndFilesThatAreNotRegular) {
  const std::string log = image->path("drive.nmea");
  ASSERT_TRUE(writeWholeFile(log,
      "$GPRMC,120000,A,4807.038,N,01131.000,E,0,0,230394,,,A\r\n"
      "$GPRMC,120001,A,4807.039,N,01131.001,E,0,0,230394,,,A\r\n"));
  const std::string more = image->path("more.nmea");
  ASSERT_TRUE(writeWholeFile(more,
      "$GPRMC,120001,A,4807.039,N,01131.001,E,0,0,230394,,,A\r\n"
      "$GPRMC,120002,A,4807.040,N,01131.002,E,0,0,230394,,,A\r\n"
      "$GPRMC,120002,A,4807.040,N,01131.002,E,0,0,230394,,,A\r\n"));
  const std::string fifo = image->path("fifo.nmea");
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  const std::string root = image->root();
  const std::string tool = VT_TOOL;
  struct Case {
    const char* what;
    std::vector<std::string> command;  // run by sh -c when it is one string
    int status;
    std::string out, err;  // err: the start of standard error
    int records;           // the day's records afterwards
  };
  const Case cases[] = {
      {"first import", {"import", "--root", root, log}, 0, "230394.log: 2 fixes\n", "", 2},
      {"the same again",
       {"import", "--root", root, log}, 0, "230394.log: 0 fixes, 2 skipped as already there\n", "", 2},
      // The fix repeated within the log is the intake's to drop, as the
      // recorder would; the one the day holds is the import's to skip.
      {"standard input, one fix new and one already there",
       {tool + " import --root " + root + " - < " + more}, 0,
       "230394.log: 1 fixes, 1 skipped as already there\n", "", 3},
      {"a FIFO without a writer", {"import", "--root", root, fifo}, 1, "no fixes\n",
       "vellumtrace-tool import: " + fifo + ": not a regular file", 3},
      {"a device", {"import", "--root", root, "/dev/zero"}, 1, "no fixes\n",
       "vellumtrace-tool import: /dev/zero: not a regular file", 3},
      {"a folder", {"import", "--root", root, root}, 1, "no fixes\n",
       "vellumtrace-tool import: " + root + ": not a regular file", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto start = std::chrono::steady_clock::now();
    ToolRun r = c.command.size() == 1 ? runProgram("/bin/sh", {"-c", c.command[0]})
                                      : runTool(c.command);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_EQ(c.out, r.out);
    EXPECT_EQ(c.err, r.err.substr(0, c.err.size()));
    EXPECT_EQ(c.records * 14u, readWholeFile(logPath(*image, "230394")).size());
  }
}

}  // namespace
