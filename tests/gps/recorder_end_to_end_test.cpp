// The real program recording a receiver on a pty: a capture's positions
// checked against gpsbabel's reading of it; no receiver at all; other copies
// on the same image; and kill -9 in the middle of logging. What the day
// files should hold comes from `vellumtrace-tool import` of the same text
// (held to the checked-in expectations by the capture tests).
//
// Bursts are one reporting cycle each, sent no sooner than 600 ms after the
// previous one and only once the program has read the previous one, faster
// than real time. A test then waits until the day files show what it
// expects before it closes the program.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gps/track_record.h"
#include "tests/geotag/track_log.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/imported_days.h"
#include "tests/support/nmea_capture.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class RecorderEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(receiver.ok()); }

  void startProgram() {
    program = std::make_unique<ProgramProcess>(
        VT_PROGRAM, std::vector<std::string>{"--root", image.root(), "--display", "headless"});
    ASSERT_TRUE(program->started());
  }
  // Sends each burst as its own tick's read. The bytes reach the port's
  // queue a little after the write; waiting 600 ms before the next makes
  // sure an empty queue means "read", not "not there yet".
  void replay(const std::vector<std::string>& bursts, std::string* sent) {
    for (const std::string& burst : bursts) {
      std::this_thread::sleep_until(lastSend + 600ms);
      ASSERT_TRUE(receiver.waitUntilRead(15000)) << "the program stopped reading the port";
      ASSERT_TRUE(receiver.send(burst));
      lastSend = Clock::now();
      if (sent) *sent += burst;
    }
  }
  // Waits until the day files are what the import makes of the text: the
  // tick that read the last burst has written its records.
  bool waitForDayFiles(const std::map<std::string, std::string>& expected) {
    return waitFor([&] { return dayFiles() == expected; }, 15s);
  }
  void stopProgram() {
    program->signal(SIGTERM);
    EXPECT_EQ(0, program->waitForExit(10s)) << "SIGTERM did not close the program";
  }
  std::map<std::string, std::string> dayFiles() { return dayFilesIn(image.root()); }

  TempDeviceImage image;
  PtyReceiver receiver;
  std::unique_ptr<ProgramProcess> program;
  Clock::time_point lastSend = Clock::now();
};

std::string describe(const std::map<std::string, std::string>& files) {
  std::ostringstream s;
  for (const auto& [name, bytes] : files) s << name << ":" << bytes.size() / 14.0 << " ";
  return s.str();
}

// A whole capture, and the positions checked against a second NMEA reader.
TEST_F(RecorderEndToEnd, GpsbabelReadsTheSameFixesFromTheCaptureAsTheDayFileHolds) {
  const std::string capture = capturePath("bu353s4.log");
  std::vector<std::string> bursts = captureBursts(capture);
  ASSERT_TRUE(receiver.linkAsCom1(image.root()));
  startProgram();
  std::string sent;
  replay(bursts, &sent);
  const auto expected = importedDayFiles(sent);
  EXPECT_TRUE(waitForDayFiles(expected));
  stopProgram();
  std::map<std::string, std::string> files = dayFiles();
  ASSERT_EQ(expected, files);
  ASSERT_EQ(1u, files.count("311214.log"));
  const std::string& day = files["311214.log"];

  // gpsbabel: No,Latitude,Longitude,...,Date,Time in decimal degrees.
  std::string command = "gpsbabel -t -i nmea -f '" + capture + "' -o unicsv -F - 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(nullptr, pipe);
  struct Point {
    double lat, lon;
  };
  std::map<int, Point> points;
  char line[512];
  while (fgets(line, sizeof line, pipe)) {
    int no, y, mo, d, h, mi;
    double lat, lon, s;
    char rest[256];
    if (sscanf(line, "%d,%lf,%lf,%255[^\n]", &no, &lat, &lon, rest) != 4) continue;
    std::string r = rest;
    size_t dateAt = r.rfind(',', r.rfind(',') - 1);
    if (sscanf(r.c_str() + dateAt + 1, "%d/%d/%d,%d:%d:%lf", &y, &mo, &d, &h, &mi, &s) != 6)
      continue;
    EXPECT_EQ("311214", (d < 10 ? "0" : "") + std::to_string(d) + (mo < 10 ? "0" : "") +
                            std::to_string(mo) + std::to_string(y % 100));
    points[h * 3600 + mi * 60 + static_cast<int>(s)] = {lat, lon};
  }
  pclose(pipe);
  ASSERT_EQ(day.size() / 14, points.size());

  auto degrees = [](float packed, char ref) {
    double v = packed;
    double deg = std::floor(v / 100) + std::fmod(v, 100) / 60;
    return (ref == 'S' || ref == 'W') ? -deg : deg;
  };
  // The float keeps about 7 digits: allow its half step, in degrees, plus
  // gpsbabel's sixth decimal.
  auto tolerance = [](float packed) {
    return (std::nextafter(packed, 1e9f) - packed) / 2 / 60 + 1e-6;
  };
  for (size_t at = 0; at < day.size(); at += 14) {
    TrackRecord r = decodeTrackRecord(reinterpret_cast<const BYTE*>(day.data() + at));
    ASSERT_EQ(1u, points.count(r.utcSeconds)) << r.utcSeconds;
    const Point& p = points[r.utcSeconds];
    EXPECT_NEAR(p.lat, degrees(r.latitude, r.latRef), tolerance(r.latitude)) << r.utcSeconds;
    EXPECT_NEAR(p.lon, degrees(r.longitude, r.lonRef), tolerance(r.longitude)) << r.utcSeconds;
  }
}

TEST_F(RecorderEndToEnd, WithoutAReceiverOneMessageIsPrintedAndTheProgramKeepsRunning) {
  startProgram();
  ASSERT_TRUE(program->waitForOutLines(1, 10s));
  EXPECT_EQ("msgbox\tError\tUnable to configure the serial port", program->outLines()[0]);
  // Nothing more for three ticks' time: the worker tries the port again on
  // each tick, without another box, and has said why on standard error once.
  EXPECT_FALSE(program->waitForOutLines(2, 1500ms)) << program->outLines().back();
  EXPECT_TRUE(program->running());
  stopProgram();
  EXPECT_EQ(1u, program->outLines().size());
  ASSERT_EQ(1u, program->errLines().size());
  EXPECT_EQ("vellumtrace: the GPS receiver's port Com1: cannot be opened or set up: open " +
                image.root() + "/Com1: No such file or directory; trying again every half second",
            program->errLines()[0]);
  EXPECT_TRUE(dayFiles().empty());
}

// Two more copies on the image of a copy that records: one on the same
// port, one on a receiver of its own. As on the device, the first is refused
// the port (one message) and the second the day file, so the recording
// copy's day keeps every fix it got and nothing else.
TEST_F(RecorderEndToEnd, OtherCopiesOnTheSameImageAreRefusedThePortAndTheDay) {
  std::vector<std::string> bursts = captureBursts(capturePath("gpslim236.log"));
  ASSERT_GE(bursts.size(), 12u);
  ASSERT_TRUE(receiver.linkAsCom1(image.root()));
  startProgram();
  std::string sent;
  replay({bursts.begin(), bursts.begin() + 3}, &sent);
  ASSERT_TRUE(waitForDayFiles(importedDayFiles(sent))) << "the first copy holds the port and the day";

  ProgramProcess samePort(VT_PROGRAM, {"--root", image.root(), "--display", "headless"});
  PtyReceiver own;
  ASSERT_TRUE(own.ok());
  ProgramProcess ownPort(VT_PROGRAM, {"--root", image.root(), "--display", "headless", "--com1",
                                      own.slavePath()});
  ASSERT_TRUE(samePort.started() && ownPort.started());
  ASSERT_TRUE(samePort.waitForOutLines(1, 10s));
  EXPECT_EQ("msgbox\tError\tUnable to configure the serial port", samePort.outLines()[0]);

  // Both receivers send the same fixes: a record written by the copy on its
  // own port would show as a second one of the same time.
  for (auto b = bursts.begin() + 3; b != bursts.begin() + 12; ++b) {
    std::this_thread::sleep_until(lastSend + 600ms);
    ASSERT_TRUE(receiver.waitUntilRead(15000));
    ASSERT_TRUE(own.waitUntilRead(15000)) << "the copy on its own port stopped reading";
    ASSERT_TRUE(receiver.send(*b) && own.send(*b));
    lastSend = Clock::now();
    sent += *b;
  }
  const auto expected = importedDayFiles(sent);
  EXPECT_TRUE(waitForDayFiles(expected));
  ASSERT_TRUE(own.waitUntilRead(15000));
  std::this_thread::sleep_for(600ms);  // its tick that read the last burst has ended
  for (ProgramProcess* p : {&samePort, &ownPort}) {
    p->signal(SIGTERM);
    EXPECT_EQ(0, p->waitForExit(10s));
  }
  stopProgram();
  EXPECT_EQ(expected, dayFiles()) << describe(dayFiles());
  EXPECT_EQ(1u, samePort.outLines().size());
  EXPECT_TRUE(ownPort.outLines().empty());
}

// kill -9 while logging, a torn tail as a power cut would leave it, then a
// restart that keeps logging: the day holds whole records only, each one a
// fix of the capture, in order.
TEST_F(RecorderEndToEnd, AfterKillNineAndATornTailTheDayStaysWholeAndReadable) {
  std::vector<std::string> bursts = captureBursts(capturePath("gpslim236.log"));
  ASSERT_GE(bursts.size(), 16u);
  std::vector<std::string> first(bursts.begin(), bursts.begin() + 7);
  std::vector<std::string> second(bursts.begin() + 8, bursts.begin() + 16);
  std::string allText;
  for (const std::string& b : bursts) allText += b;
  const std::string every = importedDay(allText, "210706");

  ASSERT_TRUE(receiver.linkAsCom1(image.root()));
  startProgram();
  std::string firstText;
  replay(first, &firstText);
  ASSERT_TRUE(waitForDayFiles(importedDayFiles(firstText)));
  ASSERT_TRUE(receiver.send(bursts[7]));  // and killed while that tick may run
  program->kill9();
  std::string path = logPath(image, "210706");
  std::string before = readWholeFile(path);
  ASSERT_GE(before.size(), 14u * 6);
  ASSERT_EQ(0u, before.size() % 14);
  ASSERT_TRUE(writeWholeFile(path, before + every.substr(0, 9)));  // torn
  // A burst the killed program did not read is the restarted one's first.
  startProgram();
  lastSend = Clock::now();
  std::string secondText;
  replay(second, &secondText);
  const std::string tail = importedDay(secondText, "210706");
  EXPECT_TRUE(waitFor([&] {
    const std::string now = readWholeFile(path);
    return now.size() >= tail.size() && now.compare(now.size() - tail.size(), tail.size(), tail) == 0;
  }, 15s)) << "the second run's fixes are all there";
  stopProgram();

  std::string day = readWholeFile(path);
  ASSERT_EQ(0u, day.size() % 14) << day.size();
  EXPECT_EQ(before, day.substr(0, before.size()));
  // Every record is one of the capture's, in the capture's order.
  size_t from = 0;
  for (size_t at = 0; at < day.size(); at += 14) {
    size_t found = std::string::npos;
    for (size_t k = from; k < every.size(); k += 14)
      if (every.compare(k, 14, day, at, 14) == 0) {
        found = k;
        break;
      }
    ASSERT_NE(std::string::npos, found) << "record " << at / 14 << " is not a fix of the capture";
    from = found + 14;
  }
  EXPECT_EQ(tail, day.substr(day.size() - tail.size()));
}

}  // namespace
