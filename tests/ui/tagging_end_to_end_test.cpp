// The whole product as a user meets it: the real program on a device image,
// a receiver on a pty, a card with camera photos put in, START touched on
// the screen, the photos tagged (read back with exiftool), the closing
// message, OK, and the track log going on afterwards.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/geotag/track_log.h"
#include "tests/support/imported_days.h"
#include "tests/support/control_client.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/nmea_capture.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"
#include "tools/photogen/camera_photo.h"
#include "tools/photogen/nmea_fixes.h"

namespace {

using namespace std::chrono_literals;

const char kCapture[] = "gpslim236.log";  // 20 fixes on 21 July 2006, 18:52:44 on
const char kLogDate[] = "210706";

std::string shell(const std::string& command) { return commandOutput(command); }

long fileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

// A card's identification as its disk device returns it: the four-word
// header, manufacturer ID, serial number.
std::string identification(const std::string& serial) {
  const std::string id = "\x03" + serial;
  std::string out;
  for (uint32_t word : {16u + static_cast<uint32_t>(id.size()), 0u, 16u, 17u})
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(word >> (8 * i)));
  return out + id;
}

class TaggingEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(receiver.ok());
    ASSERT_TRUE(receiver.linkAsCom1(image.root()));
    // The slot holds whatever DIR/SDMMC links to; a card goes in when its
    // folder is linked and its disk device answers.
    bursts = captureBursts(capturePath(kCapture));
    fixes = readCaptureFixes(capturePath(kCapture));
    ASSERT_GE(fixes.size(), 12u);
    socket = image.path("control.sock");
    program = std::make_unique<ProgramProcess>(
        VT_PROGRAM, std::vector<std::string>{"--root", image.root(), "--display", "headless",
                                             "--msgbox", "wait", "--control", socket});
    ASSERT_TRUE(waitForControl(socket, 10s));
  }
  void TearDown() override {
    if (program && program->running()) {
      controlCommand(socket, "press-ok");
      controlCommand(socket, "quit");
      program->waitForExit(5s);
    }
  }

  std::string control(const std::string& command) { return controlCommand(socket, command); }
  bool waitFor(const std::string& command, const std::string& replyStart,
               std::chrono::milliseconds timeout, std::string* reply = nullptr) {
    return waitForReply(socket, command, replyStart, timeout, reply);
  }

  // Sends bursts [from, to), one reporting cycle each, faster than a
  // receiver would; every fix of this capture is valid.
  void replay(size_t from, size_t to) {
    for (size_t i = from; i < to && i < bursts.size(); ++i) ASSERT_TRUE(receiver.send(bursts[i]));
  }
  // The day's log as the recorder writes it from the given bursts.
  std::string logOf(const std::vector<size_t>& burstIndexes) {
    std::string text;
    for (size_t i : burstIndexes) text += bursts[i];
    return importedDay(text, "210706");
  }
  bool waitForLog(const std::string& expected) {
    return ::waitFor([&] { return readWholeFile(logPath(image, kLogDate)) == expected; }, 10s);
  }
  static std::vector<size_t> range(size_t from, size_t to) {
    std::vector<size_t> out;
    for (size_t i = from; i < to; ++i) out.push_back(i);
    return out;
  }

  // A card folder with photos taken at the given fixes (camera clock three
  // hours ahead), plus `unmatched` photos taken when no fix was recorded.
  std::vector<std::string> makeCard(const std::string& folder, const std::string& prefix,
                                    const std::vector<size_t>& fixIndexes, int unmatched) {
    const std::string dcim = image.path(folder + "/DCIM");
    mkdir(image.path(folder).c_str(), 0777);
    mkdir(dcim.c_str(), 0777);
    std::vector<std::string> paths;
    int number = 1;
    auto put = [&](const std::string& time) {
      PhotoSpec spec;
      spec.width = 320;
      spec.height = 240;
      spec.seed = static_cast<uint32_t>(number);
      spec.dateTimeOriginal = time;
      char name[32];
      snprintf(name, sizeof name, "%s%04d.JPG", prefix.c_str(), number++);
      paths.push_back(dcim + "/" + name);
      writeWholeFile(paths.back(), makeCameraPhoto(spec));
    };
    for (size_t i : fixIndexes) put(cameraTimeOf(fixes[i]));
    for (int i = 0; i < unmatched; ++i) put("2006:07:22 10:00:00");
    return paths;
  }

  void insertCard(const std::string& folder, const std::string& serial) {
    const std::string link = image.path("SDMMC.new");
    unlink(link.c_str());
    ASSERT_EQ(symlink(image.path(folder).c_str(), link.c_str()), 0);
    rmdir(image.path("SDMMC").c_str());  // the empty slot the program made at start
    ASSERT_EQ(rename(link.c_str(), image.path("SDMMC").c_str()), 0);
    ASSERT_TRUE(writeWholeFile(image.path("DSK2.new"), identification(serial)));
    ASSERT_EQ(rename(image.path("DSK2.new").c_str(), image.path("DSK2").c_str()), 0);
  }

  static bool geotagged(const std::string& path) {
    return shell("exiftool -s3 -GPSVersionID '" + path + "'").find("2.2.0.0") != std::string::npos;
  }

  TempDeviceImage image;
  PtyReceiver receiver;
  std::vector<std::string> bursts;
  std::vector<CaptureFix> fixes;
  std::string socket;
  std::unique_ptr<ProgramProcess> program;
};

TEST_F(TaggingEndToEnd, StartTagsThePhotosAndLoggingResumesAfterTheLastLookup) {
  replay(0, 12);
  ASSERT_TRUE(waitForLog(logOf(range(0, 12)))) << "the recorder logs the first fixes";
  const long logged = fileSize(logPath(image, kLogDate));
  EXPECT_EQ(control("window"), "hidden");

  const auto photos = makeCard("cardA", "IMG_", {2, 5, 9}, 1);
  insertCard("cardA", "0001A2B3C4");
  ASSERT_TRUE(waitFor("window", "visible", 5s)) << "a new card with photos brings the screen up";
  EXPECT_EQ(control("msgbox"), "none");

  control("tap 50 205");  // START
  std::string box;
  ASSERT_TRUE(waitFor("msgbox", "open", 10s, &box));
  EXPECT_EQ(box, "open\tЗапись GPS завершена\tОбработано фотографий: 3 из 4 фотографий.");
  EXPECT_EQ(control("window"), "visible") << "the screen stays up beneath the closing message";

  // The last photo has been looked up: fixes that arrive while the closing
  // message waits to be dismissed are logged.
  EXPECT_EQ(fileSize(logPath(image, kLogDate)), logged) << "nothing was logged during the batch";
  replay(12, 15);
  EXPECT_TRUE(waitForLog(logOf(range(0, 15))))
      << "the log holds " << fileSize(logPath(image, kLogDate)) / 14 << " records";

  for (int i = 0; i < 3; ++i) EXPECT_TRUE(geotagged(photos[i])) << photos[i];
  EXPECT_FALSE(geotagged(photos[3]));
  const std::string position = shell("exiftool -n -s3 -GPSLatitude -GPSLongitude '" + photos[0] + "'");
  double lat = 0, lon = 0;
  ASSERT_EQ(sscanf(position.c_str(), "%lf %lf", &lat, &lon), 2) << position;
  EXPECT_NEAR(lat, 48.904, 0.01);  // 4854.25 N
  EXPECT_NEAR(lon, 2.333, 0.01);   // 00219.98 E
  EXPECT_FALSE(fileExists(image.path("cardA/DCIM/vellumtrace-tagging.tmp")));

  EXPECT_EQ(control("press-ok"), "ok");
  EXPECT_TRUE(waitFor("window", "hidden", 2s));
  replay(15, 20);
  EXPECT_TRUE(waitForLog(logOf(range(0, 20))))
      << "logging goes on after the message; the log holds "
      << fileSize(logPath(image, kLogDate)) / 14 << " records";
}

// The fixes that arrive while the photos are tagged are held and logged,
// in order, once the last photo has been looked up.
TEST_F(TaggingEndToEnd, FixesThatArriveDuringABatchAreLoggedAfterIt) {
  replay(0, 6);
  ASSERT_TRUE(waitForLog(logOf(range(0, 6))));
  makeCard("cardA", "IMG_", {1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 1, 2}, 0);  // some 6 s of tagging
  insertCard("cardA", "0001A2B3C4");
  ASSERT_TRUE(waitFor("window", "visible", 5s));
  control("tap 50 205");  // START
  for (size_t i = 6; i < 12; ++i) {
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(receiver.send(bursts[i]));
  }
  ASSERT_TRUE(receiver.waitUntilRead(5000));
  EXPECT_EQ(control("msgbox"), "none") << "the batch was over before the fixes were read";
  std::string box;
  ASSERT_TRUE(waitFor("msgbox", "open", 20s, &box));
  EXPECT_EQ(box, "open\tЗапись GPS завершена\tОбработано фотографий: 12 из 12 фотографий.");
  EXPECT_TRUE(waitForLog(logOf(range(0, 12))))
      << "the log holds " << fileSize(logPath(image, kLogDate)) / 14 << " records";
}

// A card swapped mid-batch ends the batch as cancelled with what was tagged
// so far: nothing is written to the new card, and it is announced after the
// closing message.
TEST_F(TaggingEndToEnd, CardSwappedMidBatchEndsItCancelled) {
  replay(0, 12);
  ASSERT_TRUE(waitForLog(logOf(range(0, 12))));
  const auto first = makeCard("cardA", "IMG_", {1, 2, 3, 4, 5, 6}, 0);
  const auto second = makeCard("cardB", "DSC_", {7, 8}, 0);
  std::vector<long> sizesA, sizesB;
  for (const auto& p : first) sizesA.push_back(fileSize(p));
  for (const auto& p : second) sizesB.push_back(fileSize(p));
  insertCard("cardA", "0001A2B3C4");
  ASSERT_TRUE(waitFor("window", "visible", 5s));
  control("tap 50 205");

  // Swap as soon as the first photo has been rewritten (127 bytes longer).
  ASSERT_TRUE(::waitFor([&] {
    for (size_t i = 0; i < first.size(); ++i)
      if (fileSize(first[i]) == sizesA[i] + 127) return true;
    return false;
  }, 5s));
  insertCard("cardB", "0002FFEE01");

  std::string box;
  ASSERT_TRUE(waitFor("msgbox", "open", 10s, &box));
  int tagged = 0;
  for (const auto& p : first) tagged += geotagged(p);
  ASSERT_LT(tagged, 6) << "the swap came too late to test anything";
  EXPECT_EQ(box, "open\tДействие отменено!\tОбработано фотографий: " + std::to_string(tagged) +
                     " из 6 фотографий.");
  for (size_t i = 0; i < second.size(); ++i) EXPECT_EQ(fileSize(second[i]), sizesB[i]);
  EXPECT_FALSE(fileExists(image.path("cardB/DCIM/vellumtrace-tagging.tmp")));

  // The new card waited for the batch: the end of the batch hides the
  // screen, and the card watcher, back at work, then finds card B new and
  // shows it again (its check of a new card takes half a second). Had the
  // watcher taken card B in during the batch, the screen would stay down.
  EXPECT_EQ(control("window"), "visible") << "the screen stays up beneath the closing message";
  EXPECT_EQ(control("press-ok"), "ok");
  EXPECT_TRUE(waitFor("window", "hidden", 2s));
  EXPECT_TRUE(waitFor("window", "visible", 5s)) << "the new card is announced after the batch";
  EXPECT_EQ(control("msgbox"), "none");
}

}  // namespace
