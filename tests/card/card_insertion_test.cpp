// Cards going in and out of a running program's slot: the real program, a
// pty as its receiver, the window's state read through the control channel.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/card/card_fixtures.h"
#include "tests/support/control_client.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"

using namespace std::chrono_literals;

namespace {

const std::string kCardA = cardWith("\x03", std::string("\x12\xAB\x00\xFF", 4));
const std::string kCardB = cardWith("\x1B", std::string("\x00\x00\x42\x42", 4));

class CardInsertionEndToEnd : public DeviceImageTest {
 protected:
  void start() {
    ASSERT_TRUE(receiver.ok());
    ASSERT_TRUE(receiver.linkAsCom1(image->root()));
    program = std::make_unique<ProgramProcess>(
        VT_PROGRAM, std::vector<std::string>{"--root", image->root(), "--display", "headless",
                                             "--msgbox", "auto", "--control", sock()});
    ASSERT_TRUE(waitForControl(sock(), 5s));
  }
  std::string sock() { return image->path("control.sock"); }
  std::string window() { return controlCommand(sock(), "window"); }

  // Returns once the worker has run a whole tick, card check included, with
  // the slot as it is now. Each tick ends with the card check and logs what
  // it read before it: a fix logged proves the tick that logged it began, so
  // the second of two fixes logged proves the first tick has ended.
  void waitForWholeTick() {
    for (int i = 0; i < 2; ++i) {
      ++fixes;
      char fix[128];
      snprintf(fix, sizeof fix, "$GPRMC,0930%02d.00,A,5545.1234,N,03737.5678,E,0,0,060326,,,A\r\n",
               fixes % 60);
      ASSERT_TRUE(receiver.send(fix));
      ASSERT_TRUE(waitFor([&] { return dayRecords() >= fixes; }, 5s)) << "fix " << fixes;
    }
  }
  int dayRecords() {
    return static_cast<int>(readWholeFile(image->path("ResidentFlash/vellumtrace/060326.log")).size() / 14);
  }

  void insert(const std::string& card) { writeWholeFile(image->path("DSK2"), card); }
  void pull() { ::unlink(image->path("DSK2").c_str()); }
  void putPhotos() {
    putCardFile(*image, "DCIM/IMG_0001.JPG");
    putCardFile(*image, "DCIM/100PHOTO/DSC_0007.jpg");
  }

  PtyReceiver receiver;
  std::unique_ptr<ProgramProcess> program;
  int fixes = 0;
};

TEST_F(CardInsertionEndToEnd, ACardInAtBootComesUpOnlyOnceItHasBeenPulledAndPutBack) {
  insert(kCardA);
  putPhotos();
  start();
  waitForWholeTick();
  EXPECT_EQ("hidden", window());
  pull();
  waitForWholeTick();
  EXPECT_EQ("hidden", window());
  insert(kCardA);
  // A check that finds a new card takes half a second of its own.
  EXPECT_TRUE(waitForReply(sock(), "window", "visible", 10s));
}

TEST_F(CardInsertionEndToEnd, ACardWithoutPhotosStaysDownAndOneWithPhotosComesUp) {
  start();
  insert(kCardB);  // no DCIM on it
  waitForWholeTick();
  EXPECT_EQ("hidden", window());
  pull();
  putPhotos();
  waitForWholeTick();
  insert(kCardA);
  EXPECT_TRUE(waitForReply(sock(), "window", "visible", 10s));
}

}  // namespace
