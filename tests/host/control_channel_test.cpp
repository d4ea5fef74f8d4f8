// Driving a running program through its control channel, and closing it with
// a signal, as the tests and scripts of the whole system do.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/control_client.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/program_process.h"
#include "tests/support/wait_for.h"

using namespace std::chrono_literals;

namespace {

const char kGreetingLine[] = "msgbox\tПривет! :)\tПрограмма для навигатора работает!";
const char kGreetingBox[] = "open\tПривет! :)\tПрограмма для навигатора работает!";
const char kNoPortLine[] = "msgbox\tError\tUnable to configure the serial port";

int greetings(ProgramProcess& p) {
  int n = 0;
  for (const std::string& l : p.outLines()) n += l == kGreetingLine;
  return n;
}

class ControlChannelEndToEnd : public DeviceImageTest {
 protected:
  std::string sock() { return image->path("control.sock"); }
  std::unique_ptr<ProgramProcess> start(const std::string& msgbox) {
    auto p = std::make_unique<ProgramProcess>(
        VT_PROGRAM, std::vector<std::string>{"--root", image->root(), "--display", "headless",
                                             "--msgbox", msgbox, "--control", sock()});
    EXPECT_TRUE(waitForControl(sock(), 5s));
    // The main window is made visible and hidden at once; the worker, started
    // after that, finds no receiver here and says so.
    EXPECT_TRUE(p->waitForOutLine(kNoPortLine, 5s));
    return p;
  }
  std::string ask(const std::string& command) { return controlCommand(sock(), command); }
};

TEST_F(ControlChannelEndToEnd, KeysGoThroughTheAcceleratorTableAndQuitEndsTheRun) {
  auto p = start("auto");
  struct stat st;
  ASSERT_EQ(0, lstat(sock().c_str(), &st));
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(0600u, st.st_mode & 0777);

  EXPECT_EQ("hidden", ask("window"));
  // Command 1 does nothing: the greeting asked after it still comes, so the
  // program took Ctrl+Q and went on.
  EXPECT_EQ("ok", ask("key ctrl+q"));
  EXPECT_EQ("ok", ask("key ctrl+a"));
  EXPECT_TRUE(p->waitForOutLine(kGreetingLine, 5s));
  EXPECT_TRUE(p->running());
  EXPECT_EQ("hidden", ask("window"));
  EXPECT_EQ("none", ask("msgbox"));
  EXPECT_EQ("none", ask("press-ok"));
  EXPECT_EQ("ok", ask("tap 20 200"));  // the screen takes taps; hidden, it does nothing
  EXPECT_EQ("error usage: tap X Y", ask("tap 20"));
  EXPECT_EQ("error unknown command: dance", ask("dance"));
  EXPECT_EQ("error unknown key: ctrl+z", ask("key ctrl+z"));
  // One greeting line in all, the worker's port error aside.
  EXPECT_EQ(1, greetings(*p));

  EXPECT_EQ("ok", ask("quit"));
  EXPECT_EQ(0, p->waitForExit(5s));
  EXPECT_FALSE(fileExists(sock()));
}

TEST_F(ControlChannelEndToEnd, AWaitingBoxStaysOpenWhileTheThreadGoesOnAndPressOkDismissesTheTopOne) {
  // The worker has no port here: its error box opens first and waits too.
  auto p = start("wait");
  EXPECT_EQ("open\tError\tUnable to configure the serial port", ask("msgbox"));
  EXPECT_EQ("ok", ask("press-ok"));
  EXPECT_EQ("none", ask("msgbox"));

  EXPECT_EQ("ok", ask("key ctrl+a"));
  ASSERT_TRUE(p->waitForOutLine(kGreetingLine, 5s));
  EXPECT_EQ(kGreetingBox, ask("msgbox"));
  EXPECT_EQ("hidden", ask("window"));
  EXPECT_EQ("ok", ask("press-ok"));
  EXPECT_EQ("none", ask("msgbox"));
  EXPECT_EQ("none", ask("press-ok"));

  // The UI thread runs a loop beneath the box: WM_CLOSE is handled while the
  // box is still open, and the quit message ends the box and then the run.
  EXPECT_EQ("ok", ask("key ctrl+a"));
  ASSERT_TRUE(waitFor([&] { return greetings(*p) == 2; }));
  EXPECT_EQ(kGreetingBox, ask("msgbox"));
  EXPECT_EQ("ok", ask("quit"));
  EXPECT_EQ(0, p->waitForExit(5s));
}

TEST_F(ControlChannelEndToEnd, SigtermAndSigintCloseTheProgramAsWmCloseDoes) {
  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig);
    auto p = start("auto");
    p->signal(sig);
    EXPECT_EQ(0, p->waitForExit(5s));
    EXPECT_FALSE(fileExists(sock()));
  }
}

}  // namespace
