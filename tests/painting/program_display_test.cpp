// The real program with the sdl display under an Xvfb server of the test's
// own: its window opens at the asked scale and shows the device's screen.
// Skipped where Xvfb, import or xdotool are missing.
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/display/screen.h"
#include "tests/painting/painting_helpers.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/spawned_program.h"
#include "tests/support/xvfb_server.h"

namespace {

class ProgramDisplay : public DeviceImageTest {
 protected:
  void SetUp() override {
    if (!XvfbServer::available()) GTEST_SKIP() << "Xvfb, import or xdotool missing";
    if (!server.start()) GTEST_SKIP() << "Xvfb did not start";
    DeviceImageTest::SetUp();
    // A receiver that stays silent: the recorder opens it and waits.
    char name[128];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    com1 = name;
  }
  void TearDown() override {
    if (child > 0) {
      kill(child, SIGTERM);
      int status;
      waitpid(child, &status, 0);
    }
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
    if (image) DeviceImageTest::TearDown();
  }
  void start(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {VT_PROGRAM, "--root", image->root(), "--com1", com1};
    args.insert(args.end(), extra.begin(), extra.end());
    std::string display = server.display();
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      setenv("DISPLAY", display.c_str(), 1);
      setenv("SDL_VIDEODRIVER", "x11", 1);
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }

  XvfbServer server;
  int master = -1;
  int slave = -1;
  std::string com1;
  pid_t child = -1;
};

TEST_F(ProgramDisplay, WindowOpensScaledAndShowsTheDesktopWhileTheScreenIsHidden) {
  start({"--display", "sdl", "--scale", "2"});
  std::string id = server.findWindow("Vellumtrace", 10000);
  ASSERT_FALSE(id.empty());
  // Until a card with photos arrives the tagging screen stays hidden, and the
  // display shows the plain desktop; give the first frame a moment to come.
  Surface window;
  bool desktop = false;
  for (int attempt = 0; attempt < 50 && !desktop; ++attempt) {
    ASSERT_TRUE(server.grabWindow(id, &window));
    desktop = window.width == 2 * kScreenWidth && window.height == 2 * kScreenHeight &&
              countColour(window, RECT{0, 0, window.width, window.height},
                          colorrefFromPixel(kDesktopPixel)) == window.width * window.height;
    if (!desktop) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(desktop) << window.width << "x" << window.height;
  int status = 0;
  EXPECT_EQ(waitpid(child, &status, WNOHANG), 0) << "the program ended";
}

// The window shows what the program's own snapshot shows, pixel for pixel:
// here the greeting box over the desktop, which Enter on the window dismisses.
TEST_F(ProgramDisplay, WindowMatchesTheProgramsSnapshotAndTakesItsKeys) {
  std::string socket = image->root() + "/control.sock";
  start({"--display", "sdl", "--control", socket});
  ASSERT_TRUE(waitForControl(socket, std::chrono::seconds(10)));
  std::string id = server.findWindow("Vellumtrace", 10000);
  ASSERT_FALSE(id.empty());
  ASSERT_EQ(controlCommand(socket, "key ctrl+a"), "ok");
  for (int i = 0; i < 100 && controlCommand(socket, "msgbox").rfind("open", 0) != 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(controlCommand(socket, "msgbox"), "open\tПривет! :)\tПрограмма для навигатора работает!");
  std::string png = image->root() + "/screen.png";
  Surface snapshot, window;
  // The box is open before it is drawn: wait for a drawn box the window shows.
  bool same = false, drawn = false;
  for (int attempt = 0; attempt < 50 && !(same && drawn); ++attempt) {
    ASSERT_EQ(controlCommand(socket, "snapshot " + png), "ok");
    ASSERT_TRUE(readPngFile(png, &snapshot));
    ASSERT_TRUE(server.grabWindow(id, &window));
    same = window.pixels == snapshot.pixels;
    drawn = countNot(snapshot, RECT{0, 0, kScreenWidth, kScreenHeight},
                     colorrefFromPixel(kDesktopPixel)) > 10000;
    if (!(same && drawn)) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(same);
  EXPECT_GT(countNot(snapshot, RECT{0, 0, kScreenWidth, kScreenHeight}, colorrefFromPixel(kDesktopPixel)),
            10000) << "the box is drawn";
  ASSERT_TRUE(server.key(id, "Return"));
  bool closed = false;
  for (int i = 0; i < 100 && !closed; ++i) {
    closed = controlCommand(socket, "msgbox") == "none";
    if (!closed) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(closed);
  EXPECT_EQ(controlCommand(socket, "tap 500 10"), "error off the screen");
  EXPECT_EQ(controlCommand(socket, "tap 50 200"), "ok");  // START on a hidden screen: nothing
}

}  // namespace
