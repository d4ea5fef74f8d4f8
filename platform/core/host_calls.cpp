// The table of host calls behind the platform layer; see host_calls.h.
#include "platform/core/host_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

int hostOpen(const char* path, int flags, mode_t mode) { return ::open(path, flags | O_CLOEXEC, mode); }
int hostIoctl(int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); }
ssize_t hostCopyFileRange(int fdIn, off_t* offIn, int fdOut, off_t* offOut, size_t len,
                          unsigned flags) {
  return ::copy_file_range(fdIn, offIn, fdOut, offOut, len, flags);
}
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

const HostCalls kReal = {
    hostOpen,    ::close,    ::read,     ::write,     ::pread,    ::pwrite,   ::lseek,
    hostFstat,   hostStat,   hostLstat,  ::fsync,     ::fdatasync, ::ftruncate, ::mkdir,
    ::rmdir,     ::unlink,   ::rename,   ::link,      ::readlink, ::opendir,  ::readdir,
    ::closedir,  hostStatvfs, hostIoctl, ::isatty,    ::tcgetattr, ::tcsetattr,
    hostCopyFileRange, ::malloc, hostFstatat,
    ::flock,     ::chmod,    hostSocket, ::bind,      ::listen,   hostAccept, ::connect,
    hostSendto,  ::recvfrom, ::poll,     ::shutdown,
};

HostCalls gLive = kReal;

}  // namespace

HostCalls& hostCalls() { return gLive; }
const HostCalls& realHostCalls() { return kReal; }
void resetHostCalls() { gLive = kReal; }
