// Every receiver capture under tests/data/nmea, through `vellumtrace-tool
// import` and through the running program on a pty, each compared with the
// day files checked in beside it (CAPTURE.csv, the `vellumtrace-tool log`
// listing, read and reviewed once; scripts/nmea-expected writes them).
// Some captures are raw streams: binary frames with NULs between sentences,
// bytes before a sentence's '$', sentences cut off, void fixes and dates of
// a receiver that has not settled.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/device_image_fixture.h"
#include "tests/support/imported_days.h"
#include "tests/support/nmea_capture.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"

namespace {

using namespace std::chrono_literals;

const char* const kCaptures[] = {
    "ac12_binary",  "beidou-gb",  "bu353-glonass", "bu353s4",
    "et-332",       "garmin17n",  "gp-320fw-2019-04-07-coldboot",
    "gpslim236",    "haicom-305N", "mtk-3329",      "neo-m8n",
    "sirfstarv-nmea", "skytraq-fix", "telit-he910", "tn200-all",
    "tomtom-mkII",  "ublox-zed-f9p-nmea",
};

class ReceiverCaptureEndToEnd : public ::testing::TestWithParam<const char*> {
 protected:
  std::string capture() const { return capturePath(std::string(GetParam()) + ".log"); }
  std::string expected() const { return readWholeFile(capturePath(std::string(GetParam()) + ".csv")); }
  // The day files of an image as `vellumtrace-tool log` lists them.
  static std::string listed(const std::string& root) {
    ToolRun r = runTool({"log", "--root", root});
    EXPECT_EQ(0, r.status) << r.err;
    return r.out;
  }
  static size_t dayBytes(const std::string& root) {
    size_t bytes = 0;
    for (const auto& [name, data] : dayFilesIn(root)) bytes += data.size();
    return bytes;
  }
  static size_t records(const std::string& csv) {
    size_t lines = 0;
    for (char c : csv) lines += c == '\n';
    return lines - 1;  // the header
  }
};

TEST_P(ReceiverCaptureEndToEnd, ImportGivesTheCheckedInDays) {
  ASSERT_FALSE(expected().empty()) << "no expected output beside " << capture();
  TempDeviceImage image;
  ToolRun r = runTool({"import", "--root", image.root(), capture()});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(expected(), listed(image.root()));
}

// The receiver sends the capture in pieces cut anywhere (inside sentences,
// binary frames and CR LF pairs), at moments that fall anywhere against the
// program's 500 ms ticks.
TEST_P(ReceiverCaptureEndToEnd, TheRunningProgramGivesTheCheckedInDays) {
  const std::string want = expected();
  ASSERT_FALSE(want.empty()) << "no expected output beside " << capture();
  const std::string wire = captureWireBytes(capture());
  TempDeviceImage image;
  PtyReceiver receiver;
  ASSERT_TRUE(receiver.ok() && receiver.linkAsCom1(image.root()));
  ProgramProcess program(VT_PROGRAM, {"--root", image.root(), "--display", "headless"});
  ASSERT_TRUE(program.started());

  unsigned seed = static_cast<unsigned>(wire.size());
  auto next = [&seed](unsigned below) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % below;
  };
  const unsigned typical = static_cast<unsigned>(wire.size() / 24 + 1);
  for (size_t at = 0; at < wire.size();) {
    const size_t piece = 1 + next(2 * typical);
    ASSERT_TRUE(receiver.send(wire.substr(at, piece)));
    at += piece;
    std::this_thread::sleep_for(std::chrono::milliseconds(next(300)));
  }
  const size_t bytes = records(want) * 14;
  EXPECT_TRUE(waitFor([&] { return dayBytes(image.root()) >= bytes; }, 15s))
      << dayBytes(image.root()) / 14 << " of " << bytes / 14 << " fixes logged";
  std::this_thread::sleep_for(600ms);  // a tick that would log more has run
  program.signal(SIGTERM);
  EXPECT_EQ(0, program.waitForExit(10s));
  EXPECT_EQ(want, listed(image.root()));
  for (const auto& line : program.outLines()) ADD_FAILURE() << "unexpected output: " << line;
}

INSTANTIATE_TEST_SUITE_P(Receivers, ReceiverCaptureEndToEnd, ::testing::ValuesIn(kCaptures),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string n = info.param;
                           for (char& c : n)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return n;
                         });

}  // namespace
