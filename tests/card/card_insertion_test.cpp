// Cards going in and out of a running program's slot: the real program, a
// pty as its receiver, the window's state read through the control channel.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/card/card_fixtures.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/spawned_program.h"

using namespace std::chrono_literals;

namespace {

const std::string kCardA = cardWith("\x03", std::string("\x12\xAB\x00\xFF", 4));
const std::string kCardB = cardWith("\x1B", std::string("\x00\x00\x42\x42", 4));

class CardInsertionTest : public DeviceImageTest {
 protected:
  void start() {
    ASSERT_TRUE(receiver.ok());
    ASSERT_TRUE(receiver.linkAsCom1(image->root()));
    program = std::make_unique<SpawnedProgram>(
        VT_PROGRAM, std::vector<std::string>{"--root", image->root(), "--display", "headless",
                                             "--msgbox", "auto", "--control", sock()});
    ASSERT_TRUE(waitForControl(sock(), 5s));
  }
  std::string sock() { return image->path("control.sock"); }
  std::string window() { return controlCommand(sock(), "window"); }
  // Whether the window reaches `state` within the time; a card check that
  // finds a new card takes half a second of its own.
  bool windowBecomes(const std::string& state, std::chrono::milliseconds within) {
    auto end = std::chrono::steady_clock::now() + within;
    do {
      if (window() == state) return true;
      std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return false;
  }
  // Long enough for the worker to tick at least twice (it ticks every 500 ms).
  static void letTheWorkerTick() { std::this_thread::sleep_for(1200ms); }

  void insert(const std::string& card) { writeWholeFile(image->path("DSK2"), card); }
  void pull() { ::unlink(image->path("DSK2").c_str()); }
  void putPhotos() {
    putCardFile(*image, "DCIM/IMG_0001.JPG");
    putCardFile(*image, "DCIM/100PHOTO/DSC_0007.jpg");
  }

  PtyReceiver receiver;
  std::unique_ptr<SpawnedProgram> program;
};

TEST_F(CardInsertionTest, ACardInAtBootComesUpOnlyOnceItHasBeenPulledAndPutBack) {
  insert(kCardA);
  putPhotos();
  start();
  letTheWorkerTick();
  EXPECT_EQ("hidden", window());
  pull();
  letTheWorkerTick();
  EXPECT_EQ("hidden", window());
  insert(kCardA);
  EXPECT_TRUE(windowBecomes("visible", 3s));
}

TEST_F(CardInsertionTest, ACardWithoutPhotosStaysDownAndOneWithPhotosComesUp) {
  start();
  insert(kCardB);  // no DCIM on it
  letTheWorkerTick();
  EXPECT_EQ("hidden", window());
  pull();
  putPhotos();
  letTheWorkerTick();
  insert(kCardA);
  EXPECT_TRUE(windowBecomes("visible", 3s));
}

}  // namespace
