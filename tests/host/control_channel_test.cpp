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

#include "tests/support/device_image_fixture.h"
#include "tests/support/spawned_program.h"

using namespace std::chrono_literals;

namespace {

const char kGreetingLine[] = "msgbox\tПривет! :)\tПрограмма для навигатора работает!";
const char kGreetingBox[] = "open\tПривет! :)\tПрограмма для навигатора работает!";

bool waitForGreetings(SpawnedProgram& p, int count) {
  for (int waited = 0; waited < 5000; waited += 10) {
    int n = 0;
    for (const std::string& l : p.outLines()) n += l == kGreetingLine;
    if (n == count) return true;
    usleep(10 * 1000);
  }
  return false;
}

class ControlChannelTest : public DeviceImageTest {
 protected:
  std::string sock() { return image->path("control.sock"); }
  std::unique_ptr<SpawnedProgram> start(const std::string& msgbox) {
    auto p = std::make_unique<SpawnedProgram>(
        VT_PROGRAM, std::vector<std::string>{"--root", image->root(), "--display", "headless",
                                             "--msgbox", msgbox, "--control", sock()});
    EXPECT_TRUE(waitForControl(sock(), 5s));
    return p;
  }
  std::string ask(const std::string& command) { return controlCommand(sock(), command); }
};

TEST_F(ControlChannelTest, KeysGoThroughTheAcceleratorTableAndQuitEndsTheRun) {
  auto p = start("auto");
  struct stat st;
  ASSERT_EQ(0, lstat(sock().c_str(), &st));
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(0600u, st.st_mode & 0777);

  EXPECT_EQ("hidden", ask("window"));
  EXPECT_EQ("ok", ask("key ctrl+a"));
  EXPECT_TRUE(p->waitForOutLine(kGreetingLine, 5s));
  EXPECT_EQ("ok", ask("key ctrl+q"));  // command 1 does nothing
  EXPECT_EQ("hidden", ask("window"));
  EXPECT_EQ("none", ask("msgbox"));
  EXPECT_EQ("none", ask("press-ok"));
  EXPECT_EQ("ok", ask("tap 20 200"));  // the screen takes taps; hidden, it does nothing
  EXPECT_EQ("error usage: tap X Y", ask("tap 20"));
  EXPECT_EQ("error unknown command: dance", ask("dance"));
  EXPECT_EQ("error unknown key: ctrl+z", ask("key ctrl+z"));
  EXPECT_EQ(-1, p->waitForExit(300ms)) << "still running after Ctrl+Q";
  // One greeting line in all, the worker's port error aside.
  int greetings = 0;
  for (const std::string& l : p->outLines()) greetings += l == kGreetingLine;
  EXPECT_EQ(1, greetings);

  EXPECT_EQ("ok", ask("quit"));
  EXPECT_EQ(0, p->waitForExit(5s));
  EXPECT_FALSE(fileExists(sock()));
}

TEST_F(ControlChannelTest, AWaitingBoxStaysOpenWhileTheThreadGoesOnAndPressOkDismissesTheTopOne) {
  auto p = start("wait");
  // The worker has no port here: its error box opens first and waits too.
  ASSERT_TRUE(p->waitForOutLine("msgbox\tError\tUnable to configure the serial port", 5s));
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
  ASSERT_TRUE(waitForGreetings(*p, 2));
  EXPECT_EQ(kGreetingBox, ask("msgbox"));
  EXPECT_EQ("ok", ask("quit"));
  EXPECT_EQ(0, p->waitForExit(5s));
}

TEST_F(ControlChannelTest, SigtermAndSigintCloseTheProgramAsWmCloseDoes) {
  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig);
    auto p = start("auto");
    p->signal(sig);
    EXPECT_EQ(0, p->waitForExit(5s));
    EXPECT_FALSE(fileExists(sock()));
  }
}

}  // namespace
