// Every host system call the platform layer and the host side make goes
// through this one table, so that a test can swap an entry and inject a
// failure: a short write, ENOSPC, EINTR, a device that vanished. Tests
// restore it with HostCallsOverride (an RAII guard) or resetHostCalls().
//
// Each entry knows its name. A failing call (a negative result, or a null
// one with errno set) notes its name, the paths or descriptor it was given
// and errno for its thread; where errors.cpp turns that errno into a CE error
// it becomes the thread's lastHostFailure(), so a failed CE call can say
// which host call failed on what, with no work at the call sites.
//
// Entries that differ from the host call of the same name: open, socket and
// accept make close-on-exec descriptors, sendto never raises SIGPIPE, and
// posix_spawn returns -1 with errno set instead of returning the error.
//
// Host calls that deliberately do not go through the table:
//   - stdio on stdout and stderr (diagnostics, the headless message box's
//     line): a failure there has nowhere to be reported;
//   - threads, mutexes and clocks (std::thread, pthread_create in host/main,
//     std::chrono, this_thread::sleep_for): the standard library's, and a
//     failed thread start is already caught as an exception;
//   - signal masks, sigwait and _exit in host/main and host/boot: process
//     set-up before any other thread starts, and the last step of the process;
//   - atexit in the display, and dlopen/dlsym of the sdl display's module
//     (display_module.cpp): the process's own bookkeeping and loading;
//   - what SDL2, FreeType, fontconfig and libpng do inside: their own files
//     and sockets (the fonts, the X server);
//   - std::random_device for the names of temporary files (files.cpp): the
//     standard library's source of unguessable bits;
//   - getenv, and cfsetispeed/cfsetospeed/cfgetispeed: they read the
//     environment or fill in a termios structure in memory, no system call;
//   - the readlink of /proc/self/fd that names a failed call's descriptor
//     (host_calls.cpp): it must neither count as a call nor fail in its place.
#pragma once

#include <dirent.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <termios.h>

#include <cerrno>
#include <type_traits>

// What a failed call was given, as far as it helps to say what failed.
struct HostCallSubject {
  const char* path = nullptr;       // the first path argument
  const char* otherPath = nullptr;  // the second (rename, link)
  const struct sockaddr* address = nullptr;
  int descriptor = -1;
};

// Notes a failed call for this thread (errno is kept as it was).
void noteHostCallFailure(const char* name, const HostCallSubject& subject);

// Whether the first argument of an entry is a file descriptor.
enum class FirstArgument { Other, Descriptor };

template <typename Signature>
class HostCall;

template <typename R, typename... A>
class HostCall<R(A...)> {
 public:
  using Function = R (*)(A...);

  constexpr HostCall(const char* name, Function function,
                     FirstArgument first = FirstArgument::Other)
      : name_(name), function_(function), first_(first) {}
  // Replaces the function behind the entry; the name stays.
  HostCall& operator=(Function function) {
    function_ = function;
    return *this;
  }
  constexpr const char* name() const { return name_; }
  Function function() const { return function_; }

  // The call, made again for as long as a signal cuts it short (EINTR): the
  // one place that retries. `hostCalls().read.retrying(fd, buf, n)`.
  R retrying(A... args) const {
    static_assert(std::is_signed_v<R>, "only calls with a signed result fail with EINTR");
    for (;;) {
      R result = (*this)(args...);
      if (result >= 0 || errno != EINTR) return result;
    }
  }

  R operator()(A... args) const {
    if constexpr (std::is_void_v<R>) {
      function_(args...);
    } else if constexpr (std::is_pointer_v<R>) {
      // A null result is a failure only when errno says so: readdir ends a
      // folder with null and errno untouched.
      int before = errno;
      errno = 0;
      R result = function_(args...);
      if (result == nullptr && errno != 0)
        note(args...);
      else
        errno = before;
      return result;
    } else if constexpr (std::is_signed_v<R>) {
      R result = function_(args...);
      if (result < 0) note(args...);
      return result;
    } else {
      return function_(args...);  // umask, getuid: they cannot fail
    }
  }

 private:
  void note(A... args) const {
    HostCallSubject subject;
    bool first = true;
    [[maybe_unused]] auto take = [&](auto argument) {
      using T = decltype(argument);
      if constexpr (std::is_same_v<T, const char*>) {
        (subject.path ? subject.otherPath : subject.path) = argument;
      } else if constexpr (std::is_same_v<T, const struct sockaddr*>) {
        subject.address = argument;
      } else if constexpr (std::is_same_v<T, int>) {
        if (first && first_ == FirstArgument::Descriptor) subject.descriptor = argument;
      }
      first = false;
    };
    (take(args), ...);
    noteHostCallFailure(name_, subject);
  }

  const char* name_;
  Function function_;
  FirstArgument first_;
};

// The entries, by name and signature. HostCalls holds one member for each,
// and forEachHostCall visits them all, so a test can reach every entry
// without naming it.
#define VT_HOST_CALLS(X)                                                                   \
  /* files and folders */                                                                 \
  X(open, int(const char* path, int flags, mode_t mode))                                  \
  X(close, int(int fd))                                                                   \
  X(read, ssize_t(int fd, void* buf, size_t count))                                       \
  X(write, ssize_t(int fd, const void* buf, size_t count))                                \
  X(pread, ssize_t(int fd, void* buf, size_t count, off_t offset))                        \
  X(pwrite, ssize_t(int fd, const void* buf, size_t count, off_t offset))                 \
  X(lseek, off_t(int fd, off_t offset, int whence))                                       \
  X(fstat, int(int fd, struct stat* st))                                                  \
  X(stat, int(const char* path, struct stat* st))                                         \
  X(lstat, int(const char* path, struct stat* st))                                        \
  X(fstatat, int(int dirFd, const char* path, struct stat* st, int flags))                \
  X(access, int(const char* path, int mode))                                              \
  X(fsync, int(int fd))                                                                   \
  X(fdatasync, int(int fd))                                                               \
  X(ftruncate, int(int fd, off_t length))                                                 \
  X(flock, int(int fd, int operation))                                                    \
  X(mkdir, int(const char* path, mode_t mode))                                            \
  X(rmdir, int(const char* path))                                                         \
  X(unlink, int(const char* path))                                                        \
  X(rename, int(const char* from, const char* to))                                        \
  X(link, int(const char* from, const char* to))                                          \
  X(readlink, ssize_t(const char* path, char* buf, size_t size))                          \
  X(chmod, int(const char* path, mode_t mode))                                            \
  X(fchmod, int(int fd, mode_t mode))                                                     \
  X(fchown, int(int fd, uid_t owner, gid_t group))                                        \
  X(umask, mode_t(mode_t mask))                                                           \
  X(getcwd, char*(char* buf, size_t size))                                                \
  X(opendir, DIR*(const char* path))                                                      \
  X(readdir, struct dirent*(DIR * dir))                                                   \
  X(closedir, int(DIR * dir))                                                             \
  X(statvfs, int(const char* path, struct statvfs* st))                                   \
  /* devices and the serial line */                                                       \
  X(ioctl, int(int fd, unsigned long request, void* arg))                                 \
  X(isatty, int(int fd))                                                                  \
  X(tcgetattr, int(int fd, struct termios* t))                                            \
  X(tcsetattr, int(int fd, int action, const struct termios* t))                          \
  /* memory */                                                                            \
  X(malloc, void*(size_t size))                                                           \
  X(calloc, void*(size_t count, size_t size))                                             \
  X(free, void(void* block))                                                              \
  /* sockets */                                                                           \
  X(socket, int(int domain, int type, int protocol))                                      \
  X(bind, int(int fd, const struct sockaddr* addr, socklen_t len))                        \
  X(listen, int(int fd, int backlog))                                                     \
  X(accept, int(int fd, struct sockaddr* addr, socklen_t* len))                           \
  X(connect, int(int fd, const struct sockaddr* addr, socklen_t len))                     \
  X(sendto, ssize_t(int fd, const void* buf, size_t len, int flags,                       \
                    const struct sockaddr* addr, socklen_t addrLen))                      \
  X(recvfrom, ssize_t(int fd, void* buf, size_t len, int flags, struct sockaddr* addr,    \
                      socklen_t* addrLen))                                                \
  X(poll, int(struct pollfd * fds, nfds_t count, int timeoutMs))                          \
  X(shutdown, int(int fd, int how))                                                       \
  /* processes */                                                                         \
  X(getpid, pid_t())                                                                      \
  X(getuid, uid_t())                                                                      \
  X(posix_spawn, int(pid_t * pid, const char* path, const posix_spawn_file_actions_t* actions, \
                     const posix_spawnattr_t* attr, char* const* argv, char* const* envp)) \
  X(kill, int(pid_t pid, int signal))                                                     \
  X(waitpid, pid_t(pid_t pid, int* status, int options))

struct HostCalls {
#define VT_HOST_CALL_MEMBER(name, signature) HostCall<signature> name;
  VT_HOST_CALLS(VT_HOST_CALL_MEMBER)
#undef VT_HOST_CALL_MEMBER
};

// Calls visit(entry) for each entry of `calls`, in the order above.
template <typename Visit>
void forEachHostCall(HostCalls& calls, Visit&& visit) {
#define VT_HOST_CALL_VISIT(name, signature) visit(calls.name);
  VT_HOST_CALLS(VT_HOST_CALL_VISIT)
#undef VT_HOST_CALL_VISIT
}

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

// ---- Host side: what errors.cpp takes the thread's last failure from -------

struct HostFailure;
// Moves the latest call failure noted on this thread with this errno into
// *failure (name, paths, descriptor); false when no noted call failed so.
bool takeNotedHostFailure(int hostErrno, HostFailure* failure);
