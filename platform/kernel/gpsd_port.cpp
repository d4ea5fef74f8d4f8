// "Com1:" from a gpsd; see gpsd_port.h. One port at a time: the device has
// one "Com1:", and a second opener is refused it as on a tty. The host's
// name is looked up with getaddrinfo, outside the host-call table: a
// library's lookup of many steps (files, DNS), not one call a test fails.
#include "platform/kernel/gpsd_port.h"

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

#include "platform/core/errors.h"
#include "platform/core/handles.h"
#include "platform/core/host_calls.h"

namespace {

// Marks a gpsd handle among the serial ones (CreateFileW's flags on
// "Com1:" are otherwise 0).
constexpr DWORD kGpsdHandleMark = 0x47505344;
constexpr int kOpenConnectMs = 500;
constexpr int kReconnectMs = 100;
constexpr int64_t kReconnectEveryMs = 1000;
const char kWatch[] = "?WATCH={\"enable\":true,\"nmea\":true}\n";

std::mutex gLock;
std::string gHost, gPort;
std::atomic<bool> gOn{false};

// The stream's state, for the one open port (worker thread only).
HANDLE gOpen = nullptr;
bool gAtLineStart = true;
bool gInReply = false;
int64_t gLastTryMs = 0;

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A stream connection to the gpsd that has asked for NMEA, or -1 with errno
// set. Each address the name has is tried in turn, waiting up to
// `timeoutMs` for each.
int connectGpsd(int timeoutMs) {
  std::string host, port;
  {
    std::lock_guard<std::mutex> lock(gLock);
    host = gHost;
    port = gPort;
  }
  struct addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || !found) {
    errno = EHOSTUNREACH;
    return -1;
  }
  int fd = -1, err = ECONNREFUSED;
  for (struct addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = hostCalls().socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) {
      err = errno;
      continue;
    }
    bool up = hostCalls().connect(fd, a->ai_addr, a->ai_addrlen) == 0;
    if (!up && errno == EINPROGRESS) {
      struct pollfd p = {fd, POLLOUT, 0};
      // Connecting again says how it ended: EISCONN when it is up.
      up = hostCalls().poll(&p, 1, timeoutMs) == 1 &&
           (hostCalls().connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EISCONN);
      if (!up && errno == EISCONN) up = true;
    }
    if (up && hostCalls().sendto(fd, kWatch, sizeof kWatch - 1, 0, nullptr, 0) ==
                  static_cast<ssize_t>(sizeof kWatch - 1))
      break;
    err = errno == EINPROGRESS || errno == EALREADY ? ETIMEDOUT : errno;
    hostCalls().close(fd);
    fd = -1;
  }
  freeaddrinfo(found);
  gAtLineStart = true;
  gInReply = false;
  if (fd < 0) errno = err;
  return fd;
}

void dropConnection(HANDLE file, int fd) {
  updateHandleFd(file, -1);
  hostCalls().close(fd);
}

// Leaves gpsd's replies out of `bytes`, in place: a line that starts with
// '{', up to its line end. Returns what is left.
size_t keepNmea(char* bytes, size_t count) {
  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    char c = bytes[i];
    if (gAtLineStart && c == '{') gInReply = true;
    if (!gInReply) bytes[kept++] = c;
    gAtLineStart = c == '\n';
    if (gAtLineStart) gInReply = false;
  }
  return kept;
}

}  // namespace

void setComGpsd(const std::string& host, const std::string& port) {
  std::lock_guard<std::mutex> lock(gLock);
  gHost = host;
  gPort = port.empty() ? kGpsdDefaultPort : port;
  gOn = !host.empty();
}

bool comFromGpsd() { return gOn; }

HANDLE openGpsdPort(DWORD access) {
  if (gOpen && isGpsdPort(gOpen)) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  int fd = connectGpsd(kOpenConnectMs);
  if (fd < 0) {
    setLastErrorFromErrno(errno);
    return INVALID_HANDLE_VALUE;
  }
  HandleEntry e;
  e.kind = HandleKind::Serial;
  e.fd = fd;
  e.access = access;
  e.flags = kGpsdHandleMark;
  HANDLE h = addHandle(e);
  if (h == INVALID_HANDLE_VALUE) {
    hostCalls().close(fd);
    return h;
  }
  gOpen = h;
  gLastTryMs = nowMs();
  return h;
}

bool isGpsdPort(HANDLE file) {
  HandleEntry e;
  DWORD saved = GetLastError();
  bool is = lookupHandle(file, HandleKind::Serial, &e) && e.flags == kGpsdHandleMark;
  SetLastError(saved);
  return is;
}

BOOL readGpsdPort(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD bytesRead) {
  if (bytesRead) *bytesRead = 0;
  HandleEntry e;
  if (!lookupHandle(file, HandleKind::Serial, &e) || e.flags != kGpsdHandleMark) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (e.fd < 0) {
    // Gone: try again once a second; a read meanwhile brings nothing.
    int64_t now = nowMs();
    if (now - gLastTryMs < kReconnectEveryMs) {
      SetLastError(ERROR_DEV_NOT_EXIST);
      return FALSE;
    }
    gLastTryMs = now;
    int fd = connectGpsd(kReconnectMs);
    if (fd < 0 || !updateHandleFd(file, fd)) {
      if (fd >= 0) hostCalls().close(fd);
      SetLastError(ERROR_DEV_NOT_EXIST);
      return FALSE;
    }
    e.fd = fd;
  }
  if (toRead == 0) return TRUE;
  for (;;) {
    ssize_t n = hostCalls().recvfrom(e.fd, buffer, toRead, MSG_DONTWAIT, nullptr, nullptr);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return TRUE;  // nothing yet
    if (n <= 0) {
      // gpsd closed the connection, or it broke: as a receiver pulled out.
      dropConnection(file, e.fd);
      gLastTryMs = nowMs();
      SetLastError(ERROR_DEV_NOT_EXIST);
      return FALSE;
    }
    size_t kept = keepNmea(static_cast<char*>(buffer), static_cast<size_t>(n));
    if (bytesRead) *bytesRead = static_cast<DWORD>(kept);
    return TRUE;
  }
}
