// A device without a screen or a hand: the program started with --auto-tag
// and the camera's zone, a receiver on a pty, a card put in, and nothing
// touched. The batch starts by itself, each photo gets the fix of its own
// moment under that zone, and standard output tells the whole story.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/card/card_fixtures.h"
#include "tests/geotag/track_log.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"
#include "tools/photogen/camera_photo.h"

namespace {

using namespace std::chrono_literals;

constexpr int kFixes = 6;
constexpr int kFirstFix = 10 * 3600;        // 10:00:00 UTC, 15 March 2026, then every 10 s
constexpr int kCameraBehindUtc = 5 * 3600;  // the camera is set to UTC-05:00

// Each fix 1.5 minutes of latitude north of the one before, so that a photo
// given a neighbour's fix shows it.
double latitudeOf(int fix) { return 48.0 + fix * 1.5 / 60.0; }

std::string rmc(int fix) {
  const int t = kFirstFix + fix * 10;
  char body[96];
  snprintf(body, sizeof body,
           "GPRMC,%02d%02d%02d.000,A,48%07.4f,N,00220.0000,E,0.00,0.00,150326,,,A", t / 3600,
           t / 60 % 60, t % 60, fix * 1.5);
  unsigned char sum = 0;
  for (const char* c = body; *c; ++c) sum ^= static_cast<unsigned char>(*c);
  char line[128];
  snprintf(line, sizeof line, "$%s*%02X\r\n", body, sum);
  return line;
}

std::string cameraTime(int utcSeconds) {
  const int t = utcSeconds;
  char text[32];
  snprintf(text, sizeof text, "2026:03:15 %02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
  return text;
}

TEST(AutoTagEndToEnd, ACardIsTaggedUntouchedUnderTheCamerasZone) {
  TempDeviceImage image;
  PtyReceiver receiver;
  ASSERT_TRUE(receiver.ok());
  ASSERT_TRUE(receiver.linkAsCom1(image.root()));
  ProgramProcess program(VT_PROGRAM, {"--root", image.root(), "--display", "headless", "--auto-tag",
                                      "--offset", "-05:00"});
  std::string nmea;
  for (int i = 0; i < kFixes; ++i) nmea += rmc(i);
  ASSERT_TRUE(receiver.send(nmea));
  ASSERT_TRUE(
      waitFor([&] { return readWholeFile(logPath(image, "150326")).size() == kFixes * 14u; }, 10s))
      << "the recorder logs the fixes";

  // Photos along the track by the camera's clock, five hours behind UTC, in
  // shuffled order; and one whose time would match the first fix under the
  // device's own zone (+03:00) but matches nothing under the camera's.
  const std::string card = image.path("card");
  mkdir(card.c_str(), 0777);
  mkdir((card + "/DCIM").c_str(), 0777);
  std::vector<std::pair<std::string, int>> photos;  // path, fix (-1: none)
  int number = 1;
  auto put = [&](int utcSeconds, int fix) {
    PhotoSpec spec;
    spec.width = 160;
    spec.height = 120;
    spec.seed = static_cast<uint32_t>(number);
    spec.dateTimeOriginal = cameraTime(utcSeconds);
    char name[32];
    snprintf(name, sizeof name, "/DCIM/IMG_%04d.JPG", number++);
    photos.push_back({card + name, fix});
    ASSERT_TRUE(writeWholeFile(photos.back().first, makeCameraPhoto(spec)));
  };
  for (int fix : {3, 0, 5, 1, 4, 2}) put(kFirstFix + fix * 10 - kCameraBehindUtc, fix);
  put(kFirstFix + 3 * 3600, -1);

  rmdir(image.path("SDMMC").c_str());
  ASSERT_EQ(symlink(card.c_str(), image.path("SDMMC").c_str()), 0);
  ASSERT_TRUE(writeWholeFile(image.path("DSK2.new"), cardWith("\x03", "00C0FFEE01")));
  ASSERT_EQ(rename(image.path("DSK2.new").c_str(), image.path("DSK2").c_str()), 0);

  const std::string closing =
      "msgbox\tЗапись GPS завершена\tОбработано фотографий: 6 из 7 фотографий.";
  ASSERT_TRUE(program.waitForOutLine(closing, 20s))
      << "the batch starts and ends with nobody there";
  const auto lines = program.outLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("card\t7 photos\t", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find(" KB free"), std::string::npos) << lines[0];
  for (const auto& [path, fix] : photos) {
    const std::string position =
        commandOutput("exiftool -n -s3 -GPSLatitude -GPSLongitude '" + path + "'");
    if (fix < 0) {
      EXPECT_EQ(position, "") << "under the camera's zone no fix was recorded then";
      continue;
    }
    double lat = 0, lon = 0;
    ASSERT_EQ(sscanf(position.c_str(), "%lf %lf", &lat, &lon), 2) << path << ": " << position;
    EXPECT_NEAR(lat, latitudeOf(fix), 0.002) << path << " has another fix than its own, " << fix;
    EXPECT_NEAR(lon, 2 + 20.0 / 60, 0.002) << path;
  }
  program.signal(SIGTERM);
  EXPECT_EQ(program.waitForExit(5s), 0);
  EXPECT_TRUE(program.errLines().empty()) << program.errLines()[0];
}

}  // namespace
