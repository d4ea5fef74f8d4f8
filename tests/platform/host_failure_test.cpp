// What lastHostFailure says after a failed CE call: the host call that
// failed, on what, and why, also when tidying up came between the failure and
// the CE error; and nothing once an error of another kind has been set.
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

#include "platform/ce.h"
#include "platform/core/errors.h"
#include "platform/core/host_calls.h"
#include "tests/support/device_image_fixture.h"

namespace {

class HostFailureTest : public DeviceImageTest {};

TEST_F(HostFailureTest, NamesTheFailedCallItsSubjectAndTheReason) {
  writeWholeFile(image->path("ResidentFlash/there.bin"), "x");
  const std::string there = image->path("ResidentFlash/there.bin");
  struct Case {
    const char* what;
    std::function<void(HostCalls&)> inject;
    std::function<BOOL()> call;
    DWORD ceError;
    std::string described;
  } cases[] = {
      {"a missing file", nullptr,
       [] {
         return CreateFileW(u"\\ResidentFlash\\none.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            0, nullptr) != INVALID_HANDLE_VALUE;
       },
       ERROR_FILE_NOT_FOUND, "open " + image->path("ResidentFlash/none.bin") + ": No such file or directory"},
      {"a new file where one is", nullptr,
       [] {
         return CreateFileW(u"\\ResidentFlash\\there.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0,
                            nullptr) != INVALID_HANDLE_VALUE;
       },
       ERROR_FILE_EXISTS, "open " + there + ": File exists"},
      {"a rename the volume refuses",
       [](HostCalls& h) { h.rename = [](const char*, const char*) { errno = EROFS; return -1; }; },
       [] { return MoveFileW(u"\\ResidentFlash\\there.bin", u"\\ResidentFlash\\moved.bin"); },
       ERROR_ACCESS_DENIED,
       "rename " + there + " to " + image->path("ResidentFlash/moved.bin") + ": Read-only file system"},
      {"a full volume under a write",
       [](HostCalls& h) { h.write = [](int, const void*, size_t) -> ssize_t { errno = ENOSPC; return -1; }; },
       [] {
         HANDLE h = CreateFileW(u"\\ResidentFlash\\there.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
         DWORD n = 0;
         BOOL ok = WriteFile(h, "abc", 3, &n, nullptr);
         CloseHandle(h);  // a close that succeeds leaves the last error alone
         return ok;
       },
       ERROR_DISK_FULL, "write " + there + " (fd "},
      // The copy's file is closed and removed after the failed write; the
      // write is still what is reported.
      {"a full volume under a copy",
       [](HostCalls& h) { h.write = [](int, const void*, size_t) -> ssize_t { errno = ENOSPC; return -1; }; },
       [] { return CopyFileW(u"\\ResidentFlash\\there.bin", u"\\ResidentFlash\\copy.bin", FALSE); },
       ERROR_DISK_FULL, "write " + image->path("ResidentFlash/copy.bin.copy-")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HostCallsOverride guard;
    if (c.inject) c.inject(hostCalls());
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(c.call());
    EXPECT_EQ(GetLastError(), c.ceError);
    const HostFailure* f = lastHostFailure();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->ceError, c.ceError);
    EXPECT_EQ(describeHostFailure(*f).substr(0, c.described.size()), c.described);
  }
  EXPECT_FALSE(fileExists(image->path("ResidentFlash/copy.bin")));
}

TEST_F(HostFailureTest, AnErrorOfAnotherKindLeavesNoHostFailureBehind) {
  HANDLE log = CreateFileW(u"\\ResidentFlash\\x.log", GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(log, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileW(u"\\ResidentFlash\\none.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_NE(lastHostFailure(), nullptr);
  // Refused by the share mode, in the layer: no host call failed.
  EXPECT_EQ(CreateFileW(u"\\ResidentFlash\\x.log", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                        nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_EQ(lastHostFailure(), nullptr);
  // An errno that came from no entry of the table is told by its reason alone.
  setLastErrorFromErrno(EDOM);
  ASSERT_NE(lastHostFailure(), nullptr);
  EXPECT_EQ(describeHostFailure(*lastHostFailure()), "Numerical argument out of domain");
  CloseHandle(log);
}

}  // namespace
