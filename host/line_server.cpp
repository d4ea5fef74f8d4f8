// The line server and its client.
#include "host/line_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/host_calls.h"
#include "platform/core/threads.h"

struct LineServer {
  LineHandler handler = nullptr;
  std::mutex mutex;
  std::string path;
  int listenFd = -1;
  // Requests between being read and their reply being sent.
  std::atomic<int> inFlight{0};
  // Set before the listening socket is shut down: the accept that then fails
  // ends the accepting thread; any other failure is waited out.
  std::atomic<bool> stopping{false};
  // Connections being served, each by a thread of its own, by descriptor
  // (under mutex).
  struct Client {
    std::chrono::steady_clock::time_point lastHeard;
    bool busy = false;     // a request is being answered
    bool evicted = false;  // shut down to make room; its thread is ending
  };
  std::map<int, Client> clients;
};

namespace {

constexpr size_t kMaxLine = 4096;
constexpr int kBacklog = 16;
constexpr int kStopWaitMs = 1000;
// Connections served at once, so idle clients cannot pile up threads: one
// more takes the place of the one silent the longest, so that silent clients
// never lock the owner out; only when all are answering is it told "error
// busy" and closed. One that sends nothing for a minute is closed too.
constexpr int kMaxConnections = 16;
constexpr int kIdleMs = 60 * 1000;
// A failed accept (out of descriptors, say) is tried again after a pause that
// doubles up to a second.
constexpr int kAcceptRetryFirstMs = 50;
constexpr int kAcceptRetryMaxMs = 1000;

// Every server started lives as long as the process: the threads of
// connections still open may use one after it has been stopped.
LineServer* newServer() {
  static std::mutex lock;
  static std::vector<LineServer*>* all = new std::vector<LineServer*>;
  std::lock_guard<std::mutex> guard(lock);
  all->push_back(new LineServer);
  return all->back();
}

bool socketAddress(const std::string& path, sockaddr_un* addr) {
  memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr->sun_path) return false;
  memcpy(addr->sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool sendLine(int fd, std::string line) {
  line += '\n';
  size_t done = 0;
  while (done < line.size()) {
    ssize_t n =
        hostCalls().sendto.retrying(fd, line.data() + done, line.size() - done, 0, nullptr, 0);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Takes the first whole line out of `pending`, without its LF or CR LF.
bool takeLine(std::string* pending, std::string* line) {
  size_t nl = pending->find('\n');
  if (nl == std::string::npos) return false;
  *line = pending->substr(0, nl);
  pending->erase(0, nl + 1);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

// Waits up to kIdleMs for the client to send; false when it stays silent.
bool clientSends(int fd) {
  pollfd p = {fd, POLLIN, 0};
  return hostCalls().poll.retrying(&p, 1, kIdleMs) == 1;
}

void noteClient(LineServer* server, int fd, bool busy) {
  std::lock_guard<std::mutex> lock(server->mutex);
  LineServer::Client& client = server->clients[fd];
  client.lastHeard = std::chrono::steady_clock::now();
  client.busy = busy;
}

void serveConnection(LineServer* server, int fd) {
  std::string pending;
  char buf[1024];
  for (bool open = true; open;) {
    if (!clientSends(fd)) break;
    ssize_t n = hostCalls().recvfrom.retrying(fd, buf, sizeof buf, 0, nullptr, nullptr);
    if (n <= 0) break;
    pending.append(buf, static_cast<size_t>(n));
    std::string line;
    while (open && takeLine(&pending, &line)) {
      if (line.empty()) continue;
      noteClient(server, fd, true);
      ++server->inFlight;
      open = sendLine(fd, server->handler(line));
      --server->inFlight;
      noteClient(server, fd, false);
    }
    if (open && pending.size() > kMaxLine) {
      sendLine(fd, "error line too long");
      open = false;
    }
  }
  {
    // Out of the table first, so nobody shuts down a descriptor reused later.
    std::lock_guard<std::mutex> lock(server->mutex);
    server->clients.erase(fd);
  }
  hostCalls().close(fd);
}

// Registers a new connection when there is room, making it by shutting down
// the client silent the longest when every place is taken. False when every
// client is answering a request.
bool admitClient(LineServer* server, int fd) {
  std::lock_guard<std::mutex> lock(server->mutex);
  int serving = 0;
  int quietest = -1;
  for (const auto& [other, client] : server->clients) {
    if (client.evicted) continue;
    ++serving;
    if (!client.busy && (quietest < 0 || client.lastHeard < server->clients[quietest].lastHeard))
      quietest = other;
  }
  if (serving >= kMaxConnections) {
    if (quietest < 0) return false;
    server->clients[quietest].evicted = true;
    hostCalls().shutdown(quietest, SHUT_RDWR);  // its thread sees the end and leaves
  }
  server->clients[fd].lastHeard = std::chrono::steady_clock::now();
  return true;
}

void acceptLoop(LineServer* server, int listenFd) {
  int retryMs = 0;  // 0 while accepting works
  for (;;) {
    int fd = hostCalls().accept(listenFd, nullptr, nullptr);
    if (fd < 0) {
      const int err = errno;
      if (err == EINTR || err == ECONNABORTED) continue;
      if (server->stopping.load()) {
        hostCalls().close(listenFd);
        return;
      }
      // The channel stays: other copies find this one's windows through it.
      if (retryMs == 0) {
        fprintf(stderr, "vellumtrace: %s: cannot accept a connection: %s; trying again\n",
                server->path.c_str(), strerror(err));
        retryMs = kAcceptRetryFirstMs;
      }
      Sleep(static_cast<DWORD>(retryMs));
      retryMs = retryMs * 2 > kAcceptRetryMaxMs ? kAcceptRetryMaxMs : retryMs * 2;
      continue;
    }
    if (retryMs != 0) {
      fprintf(stderr, "vellumtrace: %s: accepting connections again\n", server->path.c_str());
      retryMs = 0;
    }
    if (!admitClient(server, fd)) {
      sendLine(fd, "error busy");
      hostCalls().close(fd);
      continue;
    }
    std::thread(serveConnection, server, fd).detach();
  }
}

// Whether a process accepts connections on the socket at `addr`.
bool someoneListens(const sockaddr_un& addr) {
  int fd = hostCalls().socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  bool listens =
      hostCalls().connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  hostCalls().close(fd);
  return listens;
}

}  // namespace

LineServer* startLineServer(const std::string& path, LineHandler handler) {
  sockaddr_un addr;
  if (!socketAddress(path, &addr)) {
    errno = ENAMETOOLONG;
    return nullptr;
  }
  struct stat st;
  if (hostCalls().lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      errno = EEXIST;
      return nullptr;
    }
    // A live program's socket is its own: taking it over would leave that
    // program unreachable while it runs.
    if (someoneListens(addr)) {
      errno = EADDRINUSE;
      return nullptr;
    }
    hostCalls().unlink(path.c_str());
  }
  int fd = hostCalls().socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return nullptr;
  // Owner-only from the start: nobody else may drive the program.
  mode_t old = hostCalls().umask(0177);
  int bound = hostCalls().bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int err = errno;
  hostCalls().umask(old);
  if (bound != 0 || hostCalls().chmod(path.c_str(), 0600) != 0 ||
      hostCalls().listen(fd, kBacklog) != 0) {
    if (bound == 0) err = errno;
    hostCalls().close(fd);
    if (bound == 0) hostCalls().unlink(path.c_str());
    errno = err;
    return nullptr;
  }
  LineServer* server = newServer();
  server->handler = handler;
  server->path = path;
  server->listenFd = fd;
  std::thread(acceptLoop, server, fd).detach();
  return server;
}

void stopLineServer(LineServer* server) {
  if (!server) return;
  for (int waited = 0; waited < kStopWaitMs && server->inFlight.load() > 0; waited += 5) Sleep(5);
  std::lock_guard<std::mutex> lock(server->mutex);
  if (server->listenFd < 0) return;
  server->stopping = true;
  hostCalls().shutdown(server->listenFd, SHUT_RDWR);  // wakes the accepting thread, which closes it
  hostCalls().unlink(server->path.c_str());
  server->listenFd = -1;
}

LineAsk askLineServer(const std::string& path, const std::string& request, int timeoutMs,
                      std::string* reply) {
  sockaddr_un addr;
  if (!socketAddress(path, &addr)) return LineAsk::Failed;
  int fd = hostCalls().socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return LineAsk::Failed;
  LineAsk result = LineAsk::Failed;
  if (hostCalls().connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    if (errno == ECONNREFUSED || errno == ENOENT) result = LineAsk::NobodyListens;
  } else if (sendLine(fd, request)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string pending;
    char buf[1024];
    while (result == LineAsk::Failed && pending.size() <= kMaxLine) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p = {fd, POLLIN, 0};
      if (left.count() <= 0 || hostCalls().poll(&p, 1, static_cast<int>(left.count())) != 1) break;
      ssize_t n = hostCalls().recvfrom.retrying(fd, buf, sizeof buf, 0, nullptr, nullptr);
      if (n <= 0) break;
      pending.append(buf, static_cast<size_t>(n));
      if (takeLine(&pending, reply)) result = LineAsk::Answered;
    }
  }
  hostCalls().close(fd);
  return result;
}
