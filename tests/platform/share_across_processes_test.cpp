// Share modes between two processes on one device image: a child holds a
// file open as asked, the parent tries each kind of open against it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "platform/ce.h"
#include "tests/support/device_image_fixture.h"

namespace {

const char16_t kName[] = u"\\ResidentFlash\\day.log";

// Opens kName in a child process with `access` and `share`, and keeps it
// open until the returned pipe is closed.
struct Holder {
  pid_t pid = -1;
  int release = -1;
  Holder(DWORD access, DWORD share) {
    int ready[2], hold[2];
    if (pipe(ready) != 0 || pipe(hold) != 0) return;
    pid = fork();
    if (pid == 0) {
      close(ready[0]);
      close(hold[1]);  // so that the parent's close is the end of the pipe
      HANDLE h = CreateFileW(kName, access, share, nullptr, OPEN_ALWAYS, 0, nullptr);
      char c = h == INVALID_HANDLE_VALUE ? 'n' : 'y';
      (void)!write(ready[1], &c, 1);
      (void)!read(hold[0], &c, 1);
      _exit(0);
    }
    char c = 0;
    if (read(ready[0], &c, 1) != 1 || c != 'y') pid = -1;
    close(ready[0]);
    close(ready[1]);
    close(hold[0]);
    release = hold[1];
  }
  ~Holder() {
    close(release);
    if (pid > 0) waitpid(pid, nullptr, 0);
  }
};

bool opens(DWORD access, DWORD share) {
  HANDLE h = CreateFileW(kName, access, share, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() != ERROR_SHARING_VIOLATION;
  CloseHandle(h);
  return true;
}

class ShareAcrossProcessesTest : public DeviceImageTest {};

TEST_F(ShareAcrossProcessesTest, AnOpenThatSharesNothingHoldsAgainstOtherProcesses) {
  constexpr DWORD kRw = GENERIC_READ | GENERIC_WRITE, kShareRw = FILE_SHARE_READ | FILE_SHARE_WRITE;
  struct Case {
    const char* what;
    DWORD heldAccess, heldShare, access, share;
    bool opens;
  } cases[] = {
      {"held alone, opened alone", kRw, 0, kRw, 0, false},
      {"held alone, opened shared for reading", kRw, 0, GENERIC_READ, FILE_SHARE_READ, false},
      {"held alone, queried", kRw, 0, 0, kShareRw, true},
      {"held shared, opened shared", GENERIC_READ, kShareRw, kRw, kShareRw, true},
      {"held shared, opened alone", GENERIC_READ, kShareRw, kRw, 0, false},
      {"held for a query, opened alone", 0, 0, kRw, 0, true},
  };
  for (const Case& c : cases) {
    {
      Holder held(c.heldAccess, c.heldShare);
      ASSERT_GT(held.pid, 0) << c.what;
      EXPECT_EQ(c.opens, opens(c.access, c.share)) << c.what;
    }
    EXPECT_TRUE(opens(kRw, 0)) << c.what << ": the holder has closed it";
  }
}

}  // namespace
