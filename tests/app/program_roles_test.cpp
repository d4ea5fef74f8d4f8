// The real program as processes: started under an installer's or remover's
// name it installs or removes itself in the device image and closes a copy
// that is already running; started normally it runs until it is told to
// close. The names are symlinks to the built program, as a person would make
// them (a copy works the same: the name is what counts).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/device_image.h"
#include "tests/support/control_client.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"

using namespace std::chrono_literals;

namespace {

const char kInstalledLine[] =
    "msgbox\tTARNIXGPS VellumTrace\tПрограмма VellumTrace установлена.\\nПри следующем "
    "включении навигатора Vellumtrace начнет работу в фоновом режиме.";
const char kRemovedLine[] = "msgbox\tTARNIXGPS VellumTrace\tПрограмма VellumTrace удалена.";
const char kLaunchLine[] = "\"Launch500\"=\"\\\\ResidentFlash\\\\vellumtrace\\\\vellumtrace.exe\"";
const char kNoPortLine[] = "msgbox\tError\tUnable to configure the serial port";
const char kFix[] = "$GPRMC,093015.00,A,5545.1234,N,03737.5678,E,0.13,309.62,060326,,,A*54\r\n";

class ProgramRolesEndToEnd : public DeviceImageTest {
 protected:
  // A name for the program in a folder of its own, inside the device image
  // so it goes away with it.
  std::string named(const std::string& name) {
    std::string dir = image->path("bin");
    mkdir(dir.c_str(), 0777);
    std::string link = dir + "/" + name;
    EXPECT_EQ(0, symlink(VT_PROGRAM, link.c_str()));
    return link;
  }

  std::unique_ptr<ProgramProcess> run(const std::string& exe, std::vector<std::string> extra = {},
                                      const std::string& root = "") {
    std::vector<std::string> args{"--root", root.empty() ? image->root() : root, "--display",
                                  "headless"};
    args.insert(args.end(), extra.begin(), extra.end());
    return std::make_unique<ProgramProcess>(exe, args);
  }

  std::string installed() { return image->path("ResidentFlash/vellumtrace/vellumtrace.exe"); }
  std::string registry() { return readWholeFile(image->path("registry.reg")); }
  std::string control() { return image->path("control.sock"); }
};

TEST_F(ProgramRolesEndToEnd, InstallCopiesAndRegistersOverAnOldCopyAndRemoveUndoesItButKeepsTheLogs) {
  ASSERT_EQ(0, mkdir(image->path("ResidentFlash/vellumtrace").c_str(), 0777));
  ASSERT_TRUE(writeWholeFile(installed(), "an older build"));
  ASSERT_TRUE(writeWholeFile(image->path("ResidentFlash/vellumtrace/080126.log"), "14 bytes each "));

  auto install = run(named("install-vellumtrace"));
  EXPECT_EQ(0, install->waitForExit(10s));
  EXPECT_EQ(std::vector<std::string>{kInstalledLine}, install->outLines());
  EXPECT_EQ(readWholeFile(VT_PROGRAM), readWholeFile(installed()));
  struct stat st;
  ASSERT_EQ(0, stat(installed().c_str(), &st));
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_NE(std::string::npos, registry().find("[HKEY_LOCAL_MACHINE\\init]\n" + std::string(kLaunchLine)))
      << registry();

  auto remove = run(named("REMOVE-vellumtrace"));
  EXPECT_EQ(0, remove->waitForExit(10s));
  EXPECT_EQ(std::vector<std::string>{kRemovedLine}, remove->outLines());
  EXPECT_FALSE(fileExists(installed()));
  EXPECT_EQ(std::string::npos, registry().find("Launch500"));
  EXPECT_NE(std::string::npos, registry().find("[HKEY_LOCAL_MACHINE\\init]"));
  EXPECT_EQ("14 bytes each ", readWholeFile(image->path("ResidentFlash/vellumtrace/080126.log")));
}

TEST_F(ProgramRolesEndToEnd, TheNameChoosesTheRole) {
  struct Case {
    std::string name;
    const char* line;  // the run's only line; null for a normal run
  } const cases[] = {
      {"install-app.exe", kInstalledLine},
      {"Install-x.exe", kInstalledLine},
      {"REMOVE-x.exe", kRemovedLine},
      {"remove-then-install-x.exe", kInstalledLine},
      {"InStall-x.exe", nullptr},
  };
  // Each in a device image of its own, all at once: the roles take a second
  // each, waiting for a running copy to close.
  std::vector<std::unique_ptr<TempDeviceImage>> images;
  std::vector<std::unique_ptr<ProgramProcess>> runs;
  for (const Case& c : cases) {
    images.push_back(std::make_unique<TempDeviceImage>());
    std::string dir = images.back()->path("kit");
    mkdir(dir.c_str(), 0777);
    std::string link = dir + "/" + c.name;
    ASSERT_EQ(0, symlink(VT_PROGRAM, link.c_str()));
    runs.push_back(run(link, {}, images.back()->root()));
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    if (cases[i].line) {
      EXPECT_EQ(0, runs[i]->waitForExit(10s));
      EXPECT_EQ(std::vector<std::string>{cases[i].line}, runs[i]->outLines());
    } else {
      // A normal run starts the recorder, which finds no receiver here.
      EXPECT_TRUE(runs[i]->waitForOutLine(kNoPortLine, 10s));
      EXPECT_TRUE(runs[i]->running()) << "a normal run stays up";
      runs[i]->signal(SIGTERM);
      EXPECT_EQ(0, runs[i]->waitForExit(5s));
      EXPECT_TRUE(fileExists(images[i]->path("registry.reg")));
      EXPECT_FALSE(fileExists(images[i]->path("ResidentFlash/vellumtrace/vellumtrace.exe")));
    }
  }
  setDeviceRoot(image->root());
}

TEST_F(ProgramRolesEndToEnd, AnInstallOrRemoveThatDidNotHappenSaysWhatFailed) {
  const std::string notInstalled =
      "msgbox\tTARNIXGPS VellumTrace\tПрограмма VellumTrace не установлена.\\nНе удалось "
      "записать запуск при включении в реестр (HKEY_LOCAL_MACHINE\\init, Launch500).";
  TempDeviceImage damaged;
  const std::string noInit = "[HKEY_LOCAL_MACHINE\\Software]\n\"x\"=\"1\"\n";
  const std::string broken = "[HKEY_LOCAL_MACHINE\\init]\n\"Launch500\"=\"\\unfinished\n";
  ASSERT_TRUE(writeWholeFile(image->path("registry.reg"), noInit));
  ASSERT_TRUE(writeWholeFile(damaged.path("registry.reg"), broken));
  std::string exe = named("install-vellumtrace");
  auto a = run(exe);
  auto b = run(exe, {}, damaged.root());
  EXPECT_EQ(0, a->waitForExit(10s));
  EXPECT_EQ(0, b->waitForExit(10s));
  EXPECT_EQ(std::vector<std::string>{notInstalled}, a->outLines());
  EXPECT_EQ(std::vector<std::string>{notInstalled}, b->outLines());
  EXPECT_EQ(noInit, registry());
  EXPECT_EQ(broken, readWholeFile(damaged.path("registry.reg")));
  std::vector<std::string> err = b->errLines();
  ASSERT_EQ(1u, err.size());
  EXPECT_NE(std::string::npos, err[0].find(damaged.path("registry.reg")));
  setDeviceRoot(image->root());

  // A program that cannot be deleted and a registry that cannot be read.
  ASSERT_EQ(0, unlink(installed().c_str())) << "the copy itself was made";
  ASSERT_EQ(0, mkdir(installed().c_str(), 0700));
  ASSERT_EQ(0, unlink(image->path("registry.reg").c_str()));
  ASSERT_EQ(0, mkfifo(image->path("registry.reg").c_str(), 0600));
  auto remove = run(named("remove-vellumtrace"));
  EXPECT_EQ(0, remove->waitForExit(10s));
  EXPECT_EQ(std::vector<std::string>{"msgbox\tTARNIXGPS VellumTrace\tПрограмма VellumTrace не "
                                     "удалена.\\nНе удалось удалить "
                                     "\\ResidentFlash\\vellumtrace\\vellumtrace.exe.\\nНе удалось "
                                     "удалить запуск при включении из реестра "
                                     "(HKEY_LOCAL_MACHINE\\init, Launch500)."},
            remove->outLines());
}

TEST_F(ProgramRolesEndToEnd, AnInstallAndARemoveEachCloseTheRunningCopyWithinTwoSeconds) {
  PtyReceiver receiver;
  ASSERT_TRUE(receiver.ok());
  const std::string day = image->path("ResidentFlash/vellumtrace/060326.log");
  for (const char* role : {"install-vellumtrace", "remove-vellumtrace"}) {
    SCOPED_TRACE(role);
    ::unlink(day.c_str());
    auto running = run(VT_PROGRAM, {"--com1", receiver.slavePath(), "--control", control()});
    ASSERT_TRUE(waitForControl(control(), 5s));
    // The worker's window is up once its ticks log what the receiver sends.
    ASSERT_TRUE(receiver.send(kFix));
    ASSERT_TRUE(waitFor([&] { return readWholeFile(day).size() >= 14; }, 5s));
    auto started = std::chrono::steady_clock::now();
    std::string exe = image->path("bin/") + role;
    if (!fileExists(exe)) named(role);
    auto closer = run(exe);
    EXPECT_EQ(0, running->waitForExit(2s));
    EXPECT_LE(std::chrono::steady_clock::now() - started, 2s);
    EXPECT_EQ(0, closer->waitForExit(10s));
    EXPECT_FALSE(fileExists(control())) << "the closed copy removes its control socket";
    EXPECT_TRUE(running->outLines().empty()) << running->outLines()[0];
  }
}

}  // namespace
