// The real program with the sdl display under an Xvfb server of the test's
// own: its window opens at the asked scale and shows the device's screen.
// Skipped where Xvfb, import or xdotool are missing.
#include <gtest/gtest.h>
#include <signal.h>
#include <string.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/display/screen.h"
#include "tests/painting/painting_helpers.h"
#include "tests/support/control_client.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"
#include "tests/support/xvfb_server.h"

using namespace std::chrono_literals;

namespace {

class ProgramDisplayEndToEnd : public DeviceImageTest {
 protected:
  void SetUp() override {
    const std::string missing = XvfbServer::missingTools();
    if (!missing.empty())
      GTEST_SKIP() << "needs Xvfb, import and xdotool; not installed: " << missing;
    if (!server.start()) GTEST_SKIP() << "Xvfb did not start";
    DeviceImageTest::SetUp();
    // A receiver that stays silent: the recorder opens it and waits.
    ASSERT_TRUE(receiver.ok());
  }
  void TearDown() override {
    if (program) {
      program->signal(SIGTERM);
      program->waitForExit(10s);
    }
    if (image) DeviceImageTest::TearDown();
  }
  void start(const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"--root", image->root(), "--com1", receiver.slavePath()};
    args.insert(args.end(), extra.begin(), extra.end());
    ProgramOptions options;
    options.env = {"DISPLAY=" + server.display(), "SDL_VIDEODRIVER=x11"};
    program = std::make_unique<ProgramProcess>(VT_PROGRAM, args, options);
    ASSERT_TRUE(program->started());
  }

  XvfbServer server;
  PtyReceiver receiver;
  std::unique_ptr<ProgramProcess> program;
};

TEST_F(ProgramDisplayEndToEnd, WindowOpensScaledAndShowsTheDesktopWhileTheScreenIsHidden) {
  start({"--display", "sdl", "--scale", "2"});
  std::string id = server.findWindow("Vellumtrace", 10000);
  ASSERT_FALSE(id.empty());
  // Until a card with photos arrives the tagging screen stays hidden, and the
  // display shows the plain desktop once its first frame is up.
  Surface window;
  const bool desktop = waitFor([&] {
    return server.grabWindow(id, &window) && window.width == 2 * kScreenWidth &&
           window.height == 2 * kScreenHeight &&
           countColour(window, RECT{0, 0, window.width, window.height},
                       colorrefFromPixel(kDesktopPixel)) == window.width * window.height;
  });
  EXPECT_TRUE(desktop) << window.width << "x" << window.height;
  EXPECT_TRUE(program->running()) << "the program ended";
}

// The window shows what the program's own snapshot shows, pixel for pixel:
// here the greeting box over the desktop, which Enter on the window dismisses.
TEST_F(ProgramDisplayEndToEnd, WindowMatchesTheProgramsSnapshotAndTakesItsKeys) {
  std::string socket = image->root() + "/control.sock";
  start({"--display", "sdl", "--control", socket});
  ASSERT_TRUE(waitForControl(socket, 10s));
  std::string id = server.findWindow("Vellumtrace", 10000);
  ASSERT_FALSE(id.empty());
  ASSERT_EQ(controlCommand(socket, "key ctrl+a"), "ok");
  std::string box;
  ASSERT_TRUE(waitForReply(socket, "msgbox", "open", 5s, &box));
  ASSERT_EQ(box, "open\tПривет! :)\tПрограмма для навигатора работает!");
  std::string png = image->root() + "/screen.png";
  Surface snapshot, window;
  // The box is open before it is drawn: wait for a drawn box the window shows.
  bool same = false;
  waitFor([&] {
    if (controlCommand(socket, "snapshot " + png) != "ok" || !readPngFile(png, &snapshot) ||
        !server.grabWindow(id, &window))
      return false;
    same = window.pixels == snapshot.pixels;
    const bool drawn = countNot(snapshot, RECT{0, 0, kScreenWidth, kScreenHeight},
                                colorrefFromPixel(kDesktopPixel)) > 10000;
    return same && drawn;
  });
  EXPECT_TRUE(same);
  EXPECT_GT(countNot(snapshot, RECT{0, 0, kScreenWidth, kScreenHeight}, colorrefFromPixel(kDesktopPixel)),
            10000) << "the box is drawn";
  ASSERT_TRUE(server.key(id, "Return"));
  EXPECT_TRUE(waitForReply(socket, "msgbox", "none", 2s));
  EXPECT_EQ(controlCommand(socket, "tap 500 10"), "error off the screen");
  EXPECT_EQ(controlCommand(socket, "tap 50 200"), "ok");  // START on a hidden screen: nothing
}

// The libraries a running program has mapped, as /proc/PID/maps names them.
std::string mappedLibraries(pid_t pid) {
  return commandOutput("awk '$6 ~ /\\.so/ { print $6 }' /proc/" + std::to_string(pid) + "/maps | sort -u");
}

const char* const kDisplayLibraries[] = {"libSDL2", "libX11", "libwayland", "libasound", "libpulse"};

// SIGINT and SIGTERM reach the program's own handling, not the display's
// thread: the program ends with 0 and removes its socket, as headless.
TEST_F(ProgramDisplayEndToEnd, SignalsCloseItAsTheyDoHeadless) {
  const std::string socket = image->root() + "/control.sock";
  for (int sig : {SIGINT, SIGTERM}) {
    start({"--display", "sdl", "--control", socket});
    ASSERT_TRUE(waitForControl(socket, 10s));
    ASSERT_FALSE(server.findWindow("Vellumtrace", 10000).empty());
    EXPECT_NE(mappedLibraries(program->pid()).find("libSDL2"), std::string::npos) << "the module is loaded";
    program->signal(sig);
    EXPECT_EQ(program->waitForExit(10s), 0) << strsignal(sig);
    EXPECT_FALSE(fileExists(socket)) << strsignal(sig);
    program.reset();
  }
}

// Headless, the program maps nothing of the display: no X server needed.
TEST(HeadlessProgramEndToEnd, MapsNoGraphicsOrSoundLibrary) {
  TempDeviceImage image;
  PtyReceiver receiver;
  ASSERT_TRUE(receiver.ok());
  const std::string socket = image.root() + "/control.sock";
  ProgramProcess program(VT_PROGRAM, {"--root", image.root(), "--com1", receiver.slavePath(), "--control", socket});
  ASSERT_TRUE(waitForControl(socket, 10s));
  const std::string maps = mappedLibraries(program.pid());
  ASSERT_NE(maps.find("libfreetype"), std::string::npos) << maps;  // the listing itself works
  for (const char* library : kDisplayLibraries) EXPECT_EQ(maps.find(library), std::string::npos) << maps;
  program.signal(SIGTERM);
  EXPECT_EQ(program.waitForExit(10s), 0);
}

}  // namespace
