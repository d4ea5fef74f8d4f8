// The table of host calls behind the platform layer, and the notes its
// entries leave when a call fails; see host_calls.h.
#include "platform/core/host_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/errors.h"

namespace {

int hostOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags | O_CLOEXEC, mode); }
int hostIoctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
int hostStatvfs(const char* path, struct statvfs* st) { return ::statvfs(path, st); }
int hostStat(const char* path, struct stat* st) { return ::stat(path, st); }
int hostLstat(const char* path, struct stat* st) { return ::lstat(path, st); }
int hostFstat(int fd, struct stat* st) { return ::fstat(fd, st); }
int hostFstatat(int dirFd, const char* path, struct stat* st, int flags) {
  return ::fstatat(dirFd, path, st, flags);
}
int hostSocket(int domain, int type, int protocol) {
  return ::socket(domain, type | SOCK_CLOEXEC, protocol);
}
int hostAccept(int fd, struct sockaddr* addr, socklen_t* len) {
  return ::accept4(fd, addr, len, SOCK_CLOEXEC);
}
ssize_t hostSendto(int fd, const void* buf, size_t len, int flags, const struct sockaddr* addr,
                   socklen_t addrLen) {
  return ::sendto(fd, buf, len, flags | MSG_NOSIGNAL, addr, addrLen);
}
// As every other entry: -1 with errno set.
int hostPosixSpawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                   const posix_spawnattr_t* attr, char* const* argv, char* const* envp) {
  int err = ::posix_spawn(pid, path, actions, attr, argv, envp);
  if (err == 0) return 0;
  errno = err;
  return -1;
}

constexpr FirstArgument kFd = FirstArgument::Descriptor;

constexpr HostCalls kReal = {
    .open = {"open", hostOpen},
    .close = {"close", ::close, kFd},
    .read = {"read", ::read, kFd},
    .write = {"write", ::write, kFd},
    .pread = {"pread", ::pread, kFd},
    .pwrite = {"pwrite", ::pwrite, kFd},
    .lseek = {"lseek", ::lseek, kFd},
    .fstat = {"fstat", hostFstat, kFd},
    .stat = {"stat", hostStat},
    .lstat = {"lstat", hostLstat},
    .fstatat = {"fstatat", hostFstatat, kFd},
    .access = {"access", ::access},
    .fsync = {"fsync", ::fsync, kFd},
    .fdatasync = {"fdatasync", ::fdatasync, kFd},
    .ftruncate = {"ftruncate", ::ftruncate, kFd},
    .flock = {"flock", ::flock, kFd},
    .mkdir = {"mkdir", ::mkdir},
    .rmdir = {"rmdir", ::rmdir},
    .unlink = {"unlink", ::unlink},
    .rename = {"rename", ::rename},
    .link = {"link", ::link},
    .readlink = {"readlink", ::readlink},
    .chmod = {"chmod", ::chmod},
    .fchmod = {"fchmod", ::fchmod, kFd},
    .fchown = {"fchown", ::fchown, kFd},
    .umask = {"umask", ::umask},
    .getcwd = {"getcwd", ::getcwd},
    .opendir = {"opendir", ::opendir},
    .readdir = {"readdir", ::readdir},
    .closedir = {"closedir", ::closedir},
    .statvfs = {"statvfs", hostStatvfs},
    .ioctl = {"ioctl", hostIoctl, kFd},
    .isatty = {"isatty", ::isatty, kFd},
    .tcgetattr = {"tcgetattr", ::tcgetattr, kFd},
    .tcsetattr = {"tcsetattr", ::tcsetattr, kFd},
    .malloc = {"malloc", ::malloc},
    .calloc = {"calloc", ::calloc},
    .free = {"free", ::free},
    .socket = {"socket", hostSocket},
    .bind = {"bind", ::bind, kFd},
    .listen = {"listen", ::listen, kFd},
    .accept = {"accept", hostAccept, kFd},
    .connect = {"connect", ::connect, kFd},
    .sendto = {"sendto", hostSendto, kFd},
    .recvfrom = {"recvfrom", ::recvfrom, kFd},
    .poll = {"poll", ::poll},
    .shutdown = {"shutdown", ::shutdown, kFd},
    .getpid = {"getpid", ::getpid},
    .getuid = {"getuid", ::getuid},
    .posix_spawn = {"posix_spawn", hostPosixSpawn},
    .kill = {"kill", ::kill},
    .waitpid = {"waitpid", ::waitpid},
};

// Each entry carries the name it is listed under.
constexpr bool sameText(const char* a, const char* b) {
  while (*a && *a == *b) ++a, ++b;
  return *a == *b;
}
#define VT_HOST_CALL_NAMED(entry, signature) sameText(kReal.entry.name(), #entry) &&
static_assert(VT_HOST_CALLS(VT_HOST_CALL_NAMED) true, "an entry of kReal has another entry's name");
#undef VT_HOST_CALL_NAMED

HostCalls gLive = kReal;

// The latest failures of this thread, newest at tNext - 1: a few, because a
// caller may tidy up (close, unlink) between the failure and turning its
// errno into a CE error, and the tidying may fail too.
constexpr unsigned kNotedFailures = 4;
thread_local HostFailure tNoted[kNotedFailures];
thread_local unsigned tNext;

void copyText(char* out, size_t size, const char* text, size_t length) {
  if (length >= size) length = size - 1;
  memcpy(out, text, length);
  out[length] = 0;
}

// The file behind a descriptor, as the kernel names it.
void nameDescriptor(int fd, char* out, size_t size) {
  char link[32];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = ::readlink(link, out, size - 1);
  out[n > 0 ? n : 0] = 0;
}

}  // namespace

HostCalls& hostCalls() { return gLive; }
const HostCalls& realHostCalls() { return kReal; }
void resetHostCalls() { gLive = kReal; }

void noteHostCallFailure(const char* name, const HostCallSubject& subject) {
  int saved = errno;
  HostFailure& f = tNoted[tNext++ % kNotedFailures];
  copyText(f.call, sizeof f.call, name, strlen(name));
  f.path[0] = f.otherPath[0] = 0;
  f.descriptor = subject.descriptor;
  f.hostErrno = saved;
  f.ceError = 0;
  if (subject.path) copyText(f.path, sizeof f.path, subject.path, strlen(subject.path));
  if (subject.otherPath)
    copyText(f.otherPath, sizeof f.otherPath, subject.otherPath, strlen(subject.otherPath));
  if (subject.address && subject.address->sa_family == AF_UNIX && !subject.path) {
    const auto* local = reinterpret_cast<const sockaddr_un*>(subject.address);
    copyText(f.path, sizeof f.path, local->sun_path, strnlen(local->sun_path, sizeof local->sun_path));
  }
  // A port with nothing waiting answers EAGAIN on every tick, and EINTR is
  // retried: neither is worth a look-up of the descriptor's file.
  if (subject.descriptor >= 0 && !subject.path && saved != EAGAIN && saved != EINTR)
    nameDescriptor(subject.descriptor, f.path, sizeof f.path);
  errno = saved;
}

bool takeNotedHostFailure(int hostErrno, HostFailure* failure) {
  for (unsigned back = 1; back <= kNotedFailures && back <= tNext; ++back) {
    HostFailure& f = tNoted[(tNext - back) % kNotedFailures];
    if (f.call[0] == 0 || f.hostErrno != hostErrno) continue;
    *failure = f;
    f.call[0] = 0;  // taken: a later errno of the same value is not pinned on it
    return true;
  }
  return false;
}
