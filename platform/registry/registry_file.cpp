// The registry file, DIR/registry.reg, behind the Reg* calls: a UTF-8 text
// file in the .reg format CE images are built from:
//
//   [HKEY_LOCAL_MACHINE\init]
//   "Launch500"="\\ResidentFlash\\vellumtrace\\vellumtrace.exe"
//
// Strings ("..." with \\ and \" escaped), dword:XXXXXXXX, hex:aa,bb and
// hex(N):aa,bb values; ';' comments (registry_text.cpp). Every change
// rewrites the whole file through a temporary file renamed into place, under
// an flock on the device root, so a crash never leaves a torn registry and two
// processes never interleave their writes. A device image without a registry
// file holds the key HKEY_LOCAL_MACHINE\init, as a new CE image does. A
// malformed file is reported once on standard error and read as an empty
// registry; it is never overwritten, so a person can still repair it.
#include "platform/registry/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <set>
#include <string>

#include "platform/core/errors.h"
#include "platform/core/host_calls.h"
#include "platform/kernel/device_image.h"
#include "platform/kernel/files.h"

namespace {

constexpr size_t kMaxFileBytes = 1 << 20;

std::set<std::string> gReportedMalformed;

}  // namespace

static Registry newImageRegistry() {
  Registry r;
  r.keys.push_back(RegKey{"HKEY_LOCAL_MACHINE\\init", {}});
  return r;
}

LoadResult loadRegistry(Registry* r, int* err) {
  std::string path = registryFilePath();
  // Opened without blocking and read only when it is a file: a FIFO there
  // would hold install, remove and --boot in open() for good.
  int fd = hostCalls().open(path.c_str(), O_RDONLY | O_NONBLOCK, 0);
  if (fd < 0) {
    *err = errno;
    if (errno == ENOENT) {
      *r = newImageRegistry();
      return LoadResult::Missing;
    }
    return LoadResult::Unreadable;
  }
  struct stat st;
  bool known = hostCalls().fstat(fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    *err = !known ? errno : S_ISDIR(st.st_mode) ? EISDIR : EOPNOTSUPP;
    hostCalls().close(fd);
    return LoadResult::Unreadable;
  }
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = hostCalls().read.retrying(fd, buf, sizeof buf);
    if (n < 0) {
      *err = errno;
      hostCalls().close(fd);
      return LoadResult::Unreadable;
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (text.size() > kMaxFileBytes) break;
  }
  hostCalls().close(fd);
  std::string error;
  if (text.size() > kMaxFileBytes) error = "larger than 1 MiB";
  if (error.empty() && parseRegistry(text, r, &error)) return LoadResult::Loaded;
  r->keys.clear();
  if (gReportedMalformed.insert(path).second)
    fprintf(stderr, "vellumtrace: registry %s: %s; read as an empty registry\n", path.c_str(),
            error.c_str());
  *err = 0;
  return LoadResult::Malformed;
}

// Writes the whole registry beside the file and renames it into place.
LONG saveRegistry(const Registry& r) {
  const std::string text = formatRegistry(r);
  int err = replaceFileDurably(registryFilePath(), ".tmp-", 0644, [&text](int fd) {
    return writeAllToHostFile(fd, text.data(), text.size());
  });
  return err ? static_cast<LONG>(ceErrorFromErrno(err)) : ERROR_SUCCESS;
}

RegistryFileLock::RegistryFileLock()
    : fd_(hostCalls().open(deviceRoot().c_str(), O_RDONLY | O_DIRECTORY, 0)) {
  if (fd_ >= 0) hostCalls().flock.retrying(fd_, LOCK_EX);
}

RegistryFileLock::~RegistryFileLock() {
  if (fd_ >= 0) hostCalls().close(fd_);  // closing releases the lock
}

std::string registryFilePath() { return deviceRoot() + "/registry.reg"; }

bool prepareRegistryFile() {
  RegistryFileLock fileLock;
  struct stat st;
  if (hostCalls().lstat(registryFilePath().c_str(), &st) == 0) return true;
  return saveRegistry(newImageRegistry()) == ERROR_SUCCESS;
}
