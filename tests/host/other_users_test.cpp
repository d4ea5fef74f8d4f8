// The program among other local users: its run folder and control socket
// cannot be taken over, its location history cannot be read, and it leaves
// nothing behind in shared folders.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/control_client.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"

using namespace std::chrono_literals;

namespace {

const char kFix[] = "$GPRMC,093015.00,A,5545.1234,N,03737.5678,E,0.13,309.62,060326,,,A*54\r\n";
constexpr uid_t kNobody = 65534;

// What a child running as `uid` gets from open() on `path` and from
// connecting to the socket at `socketPath`: the errno values, 0 for success.
struct Reach {
  int open = -1, connect = -1;
};
Reach reachAs(uid_t uid, const std::string& path, const std::string& socketPath) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    Reach r;
    if (setgid(uid) == 0 && setuid(uid) == 0) {
      int fd = ::open(path.c_str(), O_RDONLY);
      r.open = fd >= 0 ? 0 : errno;
      int s = socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un addr = {};
      addr.sun_family = AF_UNIX;
      strncpy(addr.sun_path, socketPath.c_str(), sizeof addr.sun_path - 1);
      r.connect = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 ? 0 : errno;
    }
    (void)!write(pipeFds[1], &r, sizeof r);
    _exit(0);
  }
  close(pipeFds[1]);
  Reach r;
  (void)!read(pipeFds[0], &r, sizeof r);
  close(pipeFds[0]);
  waitpid(child, nullptr, 0);
  return r;
}

class OtherUsersEndToEnd : public DeviceImageTest {
 protected:
  // Without a runtime folder of the session the run folder is in the image.
  void SetUp() override {
    DeviceImageTest::SetUp();
    if (const char* runtime = getenv("XDG_RUNTIME_DIR")) savedRuntime = runtime;
    unsetenv("XDG_RUNTIME_DIR");
  }
  void TearDown() override {
    if (!savedRuntime.empty()) setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
    DeviceImageTest::TearDown();
  }
  std::string savedRuntime;
  std::string sock() { return image->path("control.sock"); }
  std::string day() { return image->path("ResidentFlash/vellumtrace/060326.log"); }
  // The program, recording a fix into the day's log.
  std::unique_ptr<ProgramProcess> startRecording() {
    auto p = std::make_unique<ProgramProcess>(
        VT_PROGRAM, std::vector<std::string>{"--root", image->root(), "--display", "headless",
                                             "--com1", receiver.slavePath(), "--control", sock()});
    EXPECT_TRUE(waitForControl(sock(), 5s));
    EXPECT_TRUE(receiver.send(kFix));
    EXPECT_TRUE(waitFor([&] { return readWholeFile(day()).size() >= 14; }, 5s));
    return p;
  }
  PtyReceiver receiver;
};

TEST_F(OtherUsersEndToEnd, TheHistoryAndTheRunningCopyAreTheOwnersAlone) {
  auto p = startRecording();

  struct stat st;
  ASSERT_EQ(0, stat(day().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  // The run folder lives in the image.
  for (const char* folder : {"ResidentFlash", "SDMMC", "ResidentFlash/vellumtrace", ".run"}) {
    ASSERT_EQ(0, stat(image->path(folder).c_str(), &st)) << folder;
    EXPECT_EQ(0700u, st.st_mode & 0777) << folder;
  }

  // A second program may not take the control socket over.
  ProgramProcess second(VT_PROGRAM, {"--root", image->root(), "--display", "headless",
                                     "--control", sock()});
  EXPECT_EQ(1, second.waitForExit(5s));
  EXPECT_EQ("hidden", controlCommand(sock(), "window")) << "the first still answers";

  p->signal(SIGTERM);
  EXPECT_EQ(0, p->waitForExit(5s));
  EXPECT_NE(0, lstat(image->path(".run").c_str(), &st)) << "the last copy removes its run folder";
}

// A service's umask that shuts others out opens the history to the group, so
// that its members can export the tracks; the control socket and the run
// folder stay the owner's. The usual 022 above is no such choice.
TEST_F(OtherUsersEndToEnd, AUmaskThatShutsOthersOutOpensTheHistoryToTheGroup) {
  const mode_t saved = umask(027);
  auto p = startRecording();
  umask(saved);
  struct stat st;
  ASSERT_EQ(0, stat(day().c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 0777);
  ASSERT_EQ(0, stat(image->path("ResidentFlash/vellumtrace").c_str(), &st));
  EXPECT_EQ(0750u, st.st_mode & 0777);
  ASSERT_EQ(0, lstat(sock().c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 0777);
  ASSERT_EQ(0, stat(image->path(".run").c_str(), &st));
  EXPECT_EQ(0700u, st.st_mode & 0777);
}

TEST_F(OtherUsersEndToEnd, AnotherUserCanNeitherReadTheHistoryNorReachTheRunningCopy) {
  if (getuid() != 0)
    GTEST_SKIP() << "no second user here: only root can run a child as another user";
  auto p = startRecording();
  // The image opened to the other user down to the file, so that only the
  // file's own mode and the run folder's stand in the way.
  for (const std::string& folder :
       {image->root(), image->path("ResidentFlash"), image->path("ResidentFlash/vellumtrace")})
    chmod(folder.c_str(), 0711);
  Reach r = reachAs(kNobody, day(), image->path(".run/" + std::to_string(p->pid()) + ".sock"));
  EXPECT_EQ(EACCES, r.open) << "another user read the day log";
  EXPECT_EQ(EACCES, r.connect) << "another user reached the running copy";
  p->signal(SIGTERM);
  EXPECT_EQ(0, p->waitForExit(5s));
}

TEST_F(OtherUsersEndToEnd, TheSessionsRuntimeFolderHoldsTheRunFolderOnlyWhenItIsClosed) {
  std::string runtime = makeTempDir("vt-runtime");
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  for (mode_t mode : {0700, 0755}) {
    SCOPED_TRACE(mode);
    chmod(runtime.c_str(), mode);
    ProgramProcess p(VT_PROGRAM, {"--root", image->root(), "--display", "headless", "--control",
                                  sock()});
    ASSERT_TRUE(waitForControl(sock(), 5s));
    if (mode == 0700)
      EXPECT_EQ(std::to_string(p.pid()) + ".sock\n", commandOutput("ls -A " + runtime + "/*/"));
    else
      EXPECT_TRUE(fileExists(image->path(".run/" + std::to_string(p.pid()) + ".sock")));
    p.signal(SIGTERM);
    EXPECT_EQ(0, p.waitForExit(5s));
    EXPECT_EQ("", commandOutput("ls -A " + runtime)) << "the last copy removes its run folder";
  }
  removeTree(runtime);
}

}  // namespace
