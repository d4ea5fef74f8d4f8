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
  int fd = hostCalls().open(path.c_str(), O_RDONLY, 0);
  if (fd < 0) {
    *err = errno;
    if (errno == ENOENT) {
      *r = newImageRegistry();
      return LoadResult::Missing;
    }
    return LoadResult::Unreadable;
  }
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = hostCalls().read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
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

static bool writeAll(int fd, const std::string& bytes, int* err) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = hostCalls().write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    if (w == 0) {
      *err = EIO;
      return false;
    }
    done += static_cast<size_t>(w);
  }
  return true;
}

// Writes the whole registry beside the file and renames it into place.
LONG saveRegistry(const Registry& r) {
  std::string path = registryFilePath();
  std::string tmp = path + ".tmp-" + std::to_string(hostCalls().getpid());
  std::string text = formatRegistry(r);
  int fd = hostCalls().open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return static_cast<LONG>(ceErrorFromErrno(errno));
  int err = 0;
  bool ok = writeAll(fd, text, &err);
  if (ok && hostCalls().fsync(fd) != 0) {
    err = errno;
    ok = false;
  }
  if (hostCalls().close(fd) != 0 && ok) {
    err = errno;
    ok = false;
  }
  if (ok && hostCalls().rename(tmp.c_str(), path.c_str()) != 0) {
    err = errno;
    ok = false;
  }
  if (!ok) {
    hostCalls().unlink(tmp.c_str());
    return static_cast<LONG>(ceErrorFromErrno(err));
  }
  int dir = hostCalls().open(deviceRoot().c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (dir >= 0) {
    hostCalls().fsync(dir);
    hostCalls().close(dir);
  }
  return ERROR_SUCCESS;
}

RegistryFileLock::RegistryFileLock()
    : fd_(hostCalls().open(deviceRoot().c_str(), O_RDONLY | O_DIRECTORY, 0)) {
  if (fd_ >= 0)
    while (hostCalls().flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
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
