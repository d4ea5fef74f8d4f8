// Files and folders: CreateFileW (files, "Com1:" and "DSK2:"), ReadFile,
// WriteFile, SetFilePointer, GetFileSize, FlushFileBuffers, SetEndOfFile, CopyFileBytes
// (bulk copy between two open files, through one buffer), CopyFileOwnership
// (a replacement keeps the original's permissions and owner), CreateDirectoryW,
// RemoveDirectoryW, CopyFileW, DeleteFileW, MoveFileW, MoveFileExW (replacing a
// file in one rename, never a read-only one), GetFileAttributesW; and for the layer, the durable
// replacement of a host file that CopyFileW and the registry file use.
// Backed by POSIX file descriptors through the host-call table. CE's share
// modes are enforced between the handles open in this process, and against
// other processes with advisory locks (flock) taken with the open; "Com1:" is
// held exclusively (TIOCEXCL and a lock). Names are opened without blocking
// and only a regular file opens as a file (a FIFO named like a photo must not
// hold the caller in open() for good); below the card and flash folders a
// link is never followed (device_image.h), and temporaries are created
// exclusively under names nobody can guess. The card's folder (\SDMMC) has
// attributes only while its file system is mounted, with
// FILE_ATTRIBUTE_TEMPORARY as CE marks a storage card's folder. A card device
// the user may not open is said on standard error once. Not supported:
// overlapped I/O, templates, security attributes (ignored), file times.
#include "platform/kernel/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>

#include "platform/kernel/device_image.h"
#include "platform/kernel/gpsd_port.h"
#include "platform/kernel/serial.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/host_calls.h"

namespace {

int openFlagsFor(DWORD access) {
  if ((access & GENERIC_READ) && (access & GENERIC_WRITE)) return O_RDWR;
  if (access & GENERIC_WRITE) return O_WRONLY;
  return O_RDONLY;
}

// A card device the user may not read, or that fails to open for any other
// reason than an empty slot, would look like an empty slot for ever; the
// path and the reason are said on standard error once, until the device
// opens or fails for another reason.
std::atomic<int> cardErrorReported{0};

bool meansNoCard(int error) {
  return error == ENOENT || error == ENOMEDIUM || error == ENXIO || error == ENODEV || error == ENOTDIR;
}

void noteCardDevice(const std::string& path, int error) {
  if (error == 0) cardErrorReported = 0;
  if (error == 0 || meansNoCard(error) || cardErrorReported.exchange(error) == error) return;
  const bool denied = error == EACCES || error == EPERM;
  fprintf(stderr, "%s: cannot read the card device %s: %s; the card is not seen until %s\n",
          program_invocation_short_name, path.c_str(), strerror(error),
          denied ? "the user may read it (by being in the group that owns it: the udev rule example gives "
                   "the card reader to the vellumtrace group)"
                 : "it opens");
}

// CE's share modes between processes, as advisory locks taken with the
// open and never waited for: an open that shares nothing locks the file
// exclusively, one that shares takes a shared lock, so a second copy of the
// program on the same image is refused the day file as on the device. A
// query-only open (no access) takes none and conflicts with nothing. Within
// the process the handle table has already decided. False, with
// ERROR_SHARING_VIOLATION, when another process holds a conflicting lock; a
// file system without locks leaves the in-process modes only.
bool lockForShareMode(int fd, DWORD access, DWORD share) {
  if ((access & (GENERIC_READ | GENERIC_WRITE)) == 0) return true;
  return lockWithoutWaiting(fd, (share & (FILE_SHARE_READ | FILE_SHARE_WRITE)) == 0 ? LOCK_EX : LOCK_SH);
}

// The card's disk device answers only as a simulated card (a regular file)
// or a real one (a block device); anything else there (a FIFO, a folder)
// would stop the card check for good.
bool isDiskDevice(int fd) {
  struct stat st;
  return hostCalls().fstat(fd, &st) == 0 && (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

HANDLE openDevice(CeDevice device, const std::string& path, DWORD access) {
  if (device == CeDevice::Com1 && comFromGpsd()) return openGpsdPort(access);
  int flags = openFlagsFor(access) | O_NONBLOCK;
  if (device == CeDevice::Com1) flags = O_RDWR | O_NOCTTY | O_NONBLOCK;
  int fd = hostCalls().open(path.c_str(), flags, 0);
  if (device == CeDevice::Dsk2) noteCardDevice(path, fd < 0 ? errno : 0);
  if (fd < 0) {
    return failFromErrno(INVALID_HANDLE_VALUE);
  }
  if (device == CeDevice::Com1 && !takeSerialLine(fd)) {
    hostCalls().close(fd);
    return INVALID_HANDLE_VALUE;
  }
  if (device == CeDevice::Dsk2 && !isDiskDevice(fd)) {
    hostCalls().close(fd);
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  HandleEntry e;
  e.kind = device == CeDevice::Com1 ? HandleKind::Serial : HandleKind::Device;
  e.fd = fd;
  e.access = access;
  HANDLE h = addHandle(e);
  if (h == INVALID_HANDLE_VALUE) hostCalls().close(fd);
  return h;
}

}  // namespace

bool lockWithoutWaiting(int fd, int op) {
  if (hostCalls().flock.retrying(fd, op | LOCK_NB) == 0 || errno != EWOULDBLOCK) return true;
  SetLastError(ERROR_SHARING_VIOLATION);
  return false;
}

HANDLE CreateFileW(LPCWSTR fileName, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD flagsAndAttributes, HANDLE) {
  std::string path;
  if (!hostPathFor(fileName, &path)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  if (CeDevice device = ceDeviceName(fileName); device != CeDevice::None)
    return openDevice(device, path, access);

  int flags = openFlagsFor(access);
  switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!(access & GENERIC_WRITE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
      }
      break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  if ((flags & O_CREAT) && (flags & O_ACCMODE) == O_RDONLY) flags = (flags & ~O_ACCMODE) | O_RDWR;

  struct stat before;
  bool existed = hostCalls().stat(path.c_str(), &before) == 0;
  if (existed && S_ISDIR(before.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  int fd = openBelowImage(path, flags, createModeFor(path));
  if (fd < 0) {
    if (disposition != OPEN_EXISTING && disposition != TRUNCATE_EXISTING)
      setLastErrorFromCreateErrno(errno);
    else
      setLastErrorFromErrno(errno);
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (hostCalls().fstat(fd, &st) != 0) {
    setLastErrorFromErrno(errno);
    hostCalls().close(fd);
    // A failed CREATE_NEW leaves no file behind: the caller, told it has
    // none, would never remove it, and the name would stay taken.
    if (flags & O_EXCL) hostCalls().unlink(path.c_str());
    return INVALID_HANDLE_VALUE;
  }
  if (!S_ISREG(st.st_mode)) {
    hostCalls().close(fd);
    SetLastError(ERROR_NOT_SUPPORTED);
    return INVALID_HANDLE_VALUE;
  }
  HandleEntry e;
  e.kind = HandleKind::File;
  e.fd = fd;
  e.access = access & (GENERIC_READ | GENERIC_WRITE);
  e.share = share & (FILE_SHARE_READ | FILE_SHARE_WRITE);
  e.flags = flagsAndAttributes;
  e.dev = st.st_dev;
  e.ino = st.st_ino;
  HANDLE h;
  {
    ShareCheck table;
    if (table.conflicts(st.st_dev, st.st_ino, e.access, e.share) ||
        !lockForShareMode(fd, e.access, e.share)) {
      hostCalls().close(fd);
      SetLastError(ERROR_SHARING_VIOLATION);
      return INVALID_HANDLE_VALUE;
    }
    // Truncate only once the share check has passed, so a refused open
    // never destroys another opener's data.
    if ((disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) &&
        hostCalls().ftruncate(fd, 0) != 0) {
      setLastErrorFromErrno(errno);
      hostCalls().close(fd);
      return INVALID_HANDLE_VALUE;
    }
    h = table.add(e);
  }
  if (h == INVALID_HANDLE_VALUE) {
    hostCalls().close(fd);
    return h;
  }
  SetLastError(existed && (disposition == OPEN_ALWAYS || disposition == CREATE_ALWAYS)
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return h;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD bytesRead, LPOVERLAPPED) {
  if (bytesRead) *bytesRead = 0;
  HandleEntry e;
  if (lookupHandleAnyKind(file, &e) && e.kind == HandleKind::Serial)
    return readSerialPort(file, buffer, toRead, bytesRead);
  if (!lookupHandleAnyKind(file, &e) || e.fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (e.kind == HandleKind::File && !(e.access & GENERIC_READ)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  char* out = static_cast<char*>(buffer);
  DWORD done = 0;
  while (done < toRead) {
    ssize_t n = hostCalls().read.retrying(e.fd, out + done, toRead - done);
    if (n < 0) {
      // A port with nothing waiting answers at once with what it has.
      if (errno == EAGAIN && e.kind == HandleKind::Serial) break;
      if (bytesRead) *bytesRead = done;
      return failFromErrno();
    }
    if (n == 0) break;
    done += static_cast<DWORD>(n);
    if (e.kind == HandleKind::Serial) break;  // one read of what has arrived
  }
  if (bytesRead) *bytesRead = done;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD bytesWritten, LPOVERLAPPED) {
  if (bytesWritten) *bytesWritten = 0;
  HandleEntry e;
  if (!lookupHandleAnyKind(file, &e) || e.fd < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (e.kind == HandleKind::File && !(e.access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const char* in = static_cast<const char*>(buffer);
  DWORD done = 0;
  while (done < toWrite) {
    ssize_t n = hostCalls().write.retrying(e.fd, in + done, toWrite - done);
    if (n < 0) {
      if (bytesWritten) *bytesWritten = done;
      return failFromErrno();
    }
    if (n == 0) {
      if (bytesWritten) *bytesWritten = done;
      SetLastError(ERROR_WRITE_FAULT);
      return FALSE;
    }
    done += static_cast<DWORD>(n);
  }
  if (bytesWritten) *bytesWritten = done;
  if ((e.flags & FILE_FLAG_WRITE_THROUGH) && e.kind == HandleKind::File &&
      hostCalls().fdatasync(e.fd) != 0) {
    return failFromErrno();
  }
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method) {
  HandleEntry e;
  if (!lookupHandle(file, HandleKind::File, &e)) return INVALID_SET_FILE_POINTER;
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR
             : method == FILE_END   ? SEEK_END : -1;
  if (whence < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t offset = distanceHigh
                       ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                              static_cast<uint32_t>(distance))
                       : static_cast<int64_t>(distance);
  off_t pos = hostCalls().lseek(e.fd, static_cast<off_t>(offset), whence);
  if (pos < 0) {
    return failFromErrno(INVALID_SET_FILE_POINTER);
  }
  if (distanceHigh) *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(pos);
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
  HandleEntry e;
  struct stat st;
  if (!lookupHandle(file, HandleKind::File, &e)) return 0xFFFFFFFFu;
  if (hostCalls().fstat(e.fd, &st) != 0) {
    return failFromErrno(0xFFFFFFFFu);
  }
  if (high) *high = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(st.st_size);
}

BOOL FlushFileBuffers(HANDLE file) {
  HandleEntry e;
  if (!lookupHandle(file, HandleKind::File, &e)) return FALSE;
  if (hostCalls().fsync(e.fd) != 0) {
    return failFromErrno();
  }
  return TRUE;
}

namespace {

// The bulk copy's buffer: the copy reads a piece of the source into it and
// writes it out. Measured on photos whose body lands at a new offset within
// its pages once the EXIF block grows, this beats both a mapping of the
// source (whose set-up and tear-down cost more than the copy they save) and
// the in-kernel copy (a quarter slower and more, with its flush, than where
// the offsets agree within a page). A megabyte, because the
// page cache keeps what one write brings in large pieces, and pieces of a
// quarter of that or less made the flush that follows slower. CopyFileBytes
// and CopyFileW share it; one copy runs at a time, under the lock, and the
// buffer is touched only by a copy.
constexpr size_t kBulkCopyBytes = size_t{1} << 20;
std::mutex bulkCopyLock;
char bulkCopyBuffer[kBulkCopyBytes];

// Copies up to `limit` bytes from `in`'s position to `out`'s; stops early
// only at the end of `in`. 0, or the errno of the call that failed, the
// positions then saying nothing; `done` counts the bytes written.
int copyHostFile(int in, int out, uint64_t limit, uint64_t* done) {
  std::lock_guard<std::mutex> hold(bulkCopyLock);
  while (*done < limit) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(limit - *done, kBulkCopyBytes));
    const ssize_t got = hostCalls().read.retrying(in, bulkCopyBuffer, want);
    if (got < 0) return errno;
    if (got == 0) return 0;
    size_t written = 0;
    const int error = writeAllToHostFile(out, bulkCopyBuffer, static_cast<size_t>(got), &written);
    *done += written;
    if (error != 0) return error;
  }
  return 0;
}

}  // namespace

// Copies up to `bytes` from one file's position to another's, advancing both;
// stops early only at the end of the source. Not a CE call: the host's way
// of moving bulk data.
BOOL CopyFileBytes(HANDLE from, HANDLE to, DWORD bytes, LPDWORD copied) {
  if (copied) *copied = 0;
  HandleEntry in, out;
  if (!lookupHandle(from, HandleKind::File, &in) || !lookupHandle(to, HandleKind::File, &out)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(in.access & GENERIC_READ) || !(out.access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  uint64_t done = 0;
  const int error = copyHostFile(in.fd, out.fd, bytes, &done);
  if (copied) *copied = static_cast<DWORD>(done);
  if (error == 0) return TRUE;
  setLastErrorFromErrno(error);
  return FALSE;
}

BOOL CopyFileOwnership(HANDLE from, HANDLE to) {
  HandleEntry in, out;
  if (!lookupHandle(from, HandleKind::File, &in) || !lookupHandle(to, HandleKind::File, &out)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  struct stat st;
  if (hostCalls().fstat(in.fd, &st) != 0) return failFromErrno();
  // Owner first: a change of owner may clear the mode's set-id bits. Where
  // the owner cannot be kept (not privileged), the group still may be.
  if (hostCalls().fchown(out.fd, st.st_uid, st.st_gid) != 0)
    hostCalls().fchown(out.fd, static_cast<uid_t>(-1), st.st_gid);
  if (hostCalls().fchmod(out.fd, st.st_mode & 07777) != 0) return failFromErrno();
  return TRUE;
}

BOOL SetEndOfFile(HANDLE file) {
  HandleEntry e;
  if (!lookupHandle(file, HandleKind::File, &e)) return FALSE;
  if (!(e.access & GENERIC_WRITE)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  off_t pos = hostCalls().lseek(e.fd, 0, SEEK_CUR);
  if (pos < 0 || hostCalls().ftruncate(e.fd, pos) != 0) {
    return failFromErrno();
  }
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES) {
  std::string path;
  if (!hostPathFor(pathName, &path)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  // The image's folders are the owner's: they hold the location history.
  if (hostCalls().mkdir(path.c_str(), imageFolderMode()) != 0) {
    return failFromErrno();
  }
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR pathName) {
  std::string path;
  if (!hostPathFor(pathName, &path)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (hostCalls().rmdir(path.c_str()) != 0) {
    return failFromErrno();
  }
  return TRUE;
}

namespace {

// True when a handle of this process holds the file at `path` open: CE does
// not delete or replace an open file.
bool openInProcess(const std::string& path) {
  struct stat st;
  if (hostCalls().stat(path.c_str(), &st) != 0) return false;
  ShareCheck table;
  return table.anyOpen(st.st_dev, st.st_ino);
}

bool syncFolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = hostCalls().open(dir.c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (fd < 0) return false;
  bool ok = hostCalls().fsync(fd) == 0;
  hostCalls().close(fd);
  return ok;
}

// The temporary file a replacement is written to, beside the file it
// replaces: its descriptor, or -1 with errno set. It is made new, never
// through a link, under a name nobody can guess: whatever someone planted
// beside the target is neither written through nor renamed into place.
int createTemporaryBeside(const std::string& path, const char* tempTag, unsigned mode,
                          std::string* tmp) {
  static std::mutex lock;
  static std::random_device source;
  for (int attempt = 0;; ++attempt) {
    unsigned long long token;
    {
      std::lock_guard<std::mutex> guard(lock);
      token = (static_cast<unsigned long long>(source()) << 32) ^ source();
    }
    char suffix[40];
    snprintf(suffix, sizeof suffix, "%d-%016llx", static_cast<int>(hostCalls().getpid()), token);
    *tmp = path + tempTag + suffix;
    int fd = hostCalls().open(tmp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW,
                              static_cast<mode_t>(mode));
    if (fd >= 0 || errno != EEXIST || attempt >= 8) return fd;
  }
}

}  // namespace

int writeAllToHostFile(int fd, const void* bytes, size_t size, size_t* written) {
  const char* in = static_cast<const char*>(bytes);
  size_t done = 0;
  int error = 0;
  while (done < size && error == 0) {
    ssize_t w = hostCalls().write.retrying(fd, in + done, size - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
    } else {
      error = w == 0 ? EIO : errno;
    }
  }
  if (written) *written = done;
  return error;
}

int replaceFileDurably(const std::string& path, const char* tempTag, unsigned mode,
                       const std::function<int(int fd)>& fill) {
  std::string tmp;
  int out = createTemporaryBeside(path, tempTag, mode, &tmp);
  if (out < 0) return errno;
  int err = fill(out);
  if (!err && hostCalls().fsync(out) != 0) err = errno;
  if (hostCalls().close(out) != 0 && !err) err = errno;
  if (!err && hostCalls().rename(tmp.c_str(), path.c_str()) != 0) err = errno;
  if (err) {
    hostCalls().unlink(tmp.c_str());
    return err;
  }
  syncFolderOf(path);
  return 0;
}

BOOL CopyFileW(LPCWSTR existingName, LPCWSTR newName, BOOL failIfExists) {
  std::string from, to;
  if (!hostPathFor(existingName, &from) || !hostPathFor(newName, &to)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  struct stat st, dst;
  if (hostCalls().stat(from.c_str(), &st) != 0) {
    return failFromErrno();
  }
  // The target itself, not what a link there names: a link is replaced by
  // the copy, never written through or taken for the source.
  if (hostCalls().lstat(to.c_str(), &dst) == 0) {
    if (failIfExists) {
      SetLastError(ERROR_FILE_EXISTS);
      return FALSE;
    }
    if (dst.st_dev == st.st_dev && dst.st_ino == st.st_ino) return TRUE;  // a file onto itself
    if (openInProcess(to)) {
      SetLastError(ERROR_SHARING_VIOLATION);
      return FALSE;
    }
  }
  int in = openBelowImage(from, O_RDONLY, 0);
  if (in < 0) {
    return failFromErrno();
  }
  bool known = hostCalls().fstat(in, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    if (known)
      SetLastError(ERROR_NOT_SUPPORTED);  // a FIFO or a device is not a file to copy
    else
      setLastErrorFromErrno(errno);
    hostCalls().close(in);
    return FALSE;
  }
  // The copy is made beside the target and renamed over it, so the target is
  // either the old file or the whole new one, never a torn mix.
  int err = replaceFileDurably(to, ".copy-", st.st_mode & 07777, [in](int out) {
    uint64_t copied = 0;
    return copyHostFile(in, out, UINT64_MAX, &copied);
  });
  hostCalls().close(in);
  if (err) {
    errno = err;
    return failFromErrno();
  }
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR fileName) {
  std::string path;
  if (!hostPathFor(fileName, &path)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  struct stat st;
  if (hostCalls().lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (openInProcess(path)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (hostCalls().unlink(path.c_str()) != 0) {
    return failFromErrno();
  }
  return TRUE;
}

BOOL MoveFileW(LPCWSTR existingName, LPCWSTR newName) {
  std::string from, to;
  if (!hostPathFor(existingName, &from) || !hostPathFor(newName, &to)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  struct stat st;
  if (hostCalls().lstat(from.c_str(), &st) != 0) {
    return failFromErrno();
  }
  if (S_ISLNK(st.st_mode) && linksRefusedAt(from)) {
    SetLastError(ERROR_NOT_SUPPORTED);  // it would put a link out of the image in place
    return FALSE;
  }
  // CE's MoveFile never replaces an existing file.
  if (hostCalls().lstat(to.c_str(), &st) == 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (openInProcess(from)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (hostCalls().rename(from.c_str(), to.c_str()) != 0) {
    return failFromErrno();
  }
  syncFolderOf(to);
  return TRUE;
}

// Replaces an existing file in one rename, so that the name always names a
// whole file, the old one or the new one. With MOVEFILE_WRITE_THROUGH the
// folder is flushed too, and a failed flush is reported (after the rename,
// which has then taken place).
BOOL MoveFileExW(LPCWSTR existingName, LPCWSTR newName, DWORD flags) {
  std::string from, to;
  if (!hostPathFor(existingName, &from) || !hostPathFor(newName, &to)) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  struct stat st;
  if (hostCalls().lstat(from.c_str(), &st) != 0) {
    return failFromErrno();
  }
  if (S_ISLNK(st.st_mode) && linksRefusedAt(from)) {
    SetLastError(ERROR_NOT_SUPPORTED);  // it would put a link out of the image in place
    return FALSE;
  }
  if (hostCalls().lstat(to.c_str(), &st) == 0) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return FALSE;
    }
    // As on CE, a read-only file is not replaced (the host's rename would).
    if (!S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
  }
  if (openInProcess(from) || openInProcess(to)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  if (hostCalls().rename(from.c_str(), to.c_str()) != 0) {
    return failFromErrno();
  }
  if ((flags & MOVEFILE_WRITE_THROUGH) && !syncFolderOf(to)) {
    return failFromErrno();
  }
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR fileName) {
  std::string path;
  struct stat st;
  const bool cardFolder = isCardFolder(fileName);
  if (cardFolder && !cardFolderMounted()) {
    SetLastError(ERROR_PATH_NOT_FOUND);  // on the device the folder comes with the card
    return INVALID_FILE_ATTRIBUTES;
  }
  if (!hostPathFor(fileName, &path)) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (hostCalls().stat(path.c_str(), &st) != 0) {
    return failFromErrno(INVALID_FILE_ATTRIBUTES);
  }
  DWORD a = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) a |= FILE_ATTRIBUTE_READONLY;
  if (cardFolder) a |= FILE_ATTRIBUTE_TEMPORARY;
  return a;
}
