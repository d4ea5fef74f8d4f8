// Every host system call the platform layer makes goes through this one
// table, so that a test can swap an entry and inject a failure: a short
// write, ENOSPC, EINTR, a device that vanished. Tests restore it with
// HostCallsOverride (an RAII guard) or resetHostCalls().
#pragma once

#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <termios.h>

struct HostCalls {
  int (*open)(const char* path, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* buf, size_t count);
  ssize_t (*write)(int fd, const void* buf, size_t count);
  ssize_t (*pread)(int fd, void* buf, size_t count, off_t offset);
  ssize_t (*pwrite)(int fd, const void* buf, size_t count, off_t offset);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*fstat)(int fd, struct stat* st);
  int (*stat)(const char* path, struct stat* st);
  int (*lstat)(const char* path, struct stat* st);
  int (*fsync)(int fd);
  int (*fdatasync)(int fd);
  int (*ftruncate)(int fd, off_t length);
  int (*mkdir)(const char* path, mode_t mode);
  int (*rmdir)(const char* path);
  int (*unlink)(const char* path);
  int (*rename)(const char* from, const char* to);
  int (*link)(const char* from, const char* to);
  ssize_t (*readlink)(const char* path, char* buf, size_t size);
  DIR* (*opendir)(const char* path);
  struct dirent* (*readdir)(DIR* dir);
  int (*closedir)(DIR* dir);
  int (*statvfs)(const char* path, struct statvfs* st);
  int (*ioctl)(int fd, unsigned long request, void* arg);
  int (*isatty)(int fd);
  int (*tcgetattr)(int fd, struct termios* t);
  int (*tcsetattr)(int fd, int action, const struct termios* t);
  ssize_t (*copy_file_range)(int fdIn, off_t* offIn, int fdOut, off_t* offOut, size_t len,
                             unsigned flags);
  void* (*malloc)(size_t size);
  int (*fstatat)(int dirFd, const char* path, struct stat* st, int flags);
  int (*flock)(int fd, int operation);
  int (*chmod)(const char* path, mode_t mode);
  int (*socket)(int domain, int type, int protocol);
  int (*bind)(int fd, const struct sockaddr* addr, socklen_t len);
  int (*listen)(int fd, int backlog);
  int (*accept)(int fd, struct sockaddr* addr, socklen_t* len);
  int (*connect)(int fd, const struct sockaddr* addr, socklen_t len);
  ssize_t (*sendto)(int fd, const void* buf, size_t len, int flags, const struct sockaddr* addr,
                    socklen_t addrLen);
  ssize_t (*recvfrom)(int fd, void* buf, size_t len, int flags, struct sockaddr* addr,
                      socklen_t* addrLen);
  int (*poll)(struct pollfd* fds, nfds_t count, int timeoutMs);
  int (*shutdown)(int fd, int how);
};

// The live table. Read it through hostCalls(); tests change entries through
// HostCallsOverride.
HostCalls& hostCalls();
// The table of the real host calls.
const HostCalls& realHostCalls();
void resetHostCalls();

class HostCallsOverride {
 public:
  HostCallsOverride() : saved_(hostCalls()) {}
  ~HostCallsOverride() { hostCalls() = saved_; }
  HostCallsOverride(const HostCallsOverride&) = delete;
  HostCallsOverride& operator=(const HostCallsOverride&) = delete;
  HostCalls* operator->() { return &hostCalls(); }

 private:
  HostCalls saved_;
};
