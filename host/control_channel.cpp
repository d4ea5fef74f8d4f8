// The control channel: see control_channel.h for the commands. Backed by a
// Unix stream socket (mode 0600, in a folder the caller chooses) served by
// one thread that accepts and one thread for each connection; each command
// runs on that thread and reaches the program only through the calls a
// device would see: a posted message, a key press fed to the main window's
// thread, the waiting message box's dismissal.
#include "host/control_channel.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "host/msgbox_wait.h"
#include "host/process_windows.h"
#include "platform/core/host_calls.h"
#include "platform/display/input_injection.h"
#include "platform/core/threads.h"
#include "platform/core/wide_text.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

namespace {

constexpr size_t kMaxLine = 4096;
constexpr int kMainWindowWaitMs = 5000;

std::mutex gMutex;
std::string gPath;
int gListenFd = -1;
std::map<std::string, ControlCommandHandler> gHandlers;
// Commands between being read and their reply being sent: the program's end
// waits for them, so `quit` still gets its `ok`.
std::atomic<int> gInFlight{0};

HWND mainWindowSoon() { return firstTopLevelWindow(kMainWindowWaitMs); }

std::string escapeLineBreaks(const std::u16string& text) {
  std::string out;
  for (char c : utf8FromUtf16(text)) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\t')
      out += "\\t";
    else if (c != '\r')
      out += c;
  }
  return out;
}

std::string runCommand(const std::string& line) {
  size_t space = line.find(' ');
  std::string word = line.substr(0, space);
  std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
  if (word == "window" && rest.empty()) {
    HWND w = mainWindowSoon();
    return w && IsWindowVisible(w) ? "visible" : "hidden";
  }
  if (word == "key") {
    WORD key = 0;
    if (rest == "ctrl+a")
      key = 'A';
    else if (rest == "ctrl+q")
      key = 'Q';
    else
      return "error unknown key: " + rest;
    if (!mainWindowSoon()) return "error no main window";
    return injectKeyPress(key, true) ? "ok" : "error no window takes keys";
  }
  if (word == "msgbox" && rest.empty()) {
    std::u16string title, text;
    if (!topMessageBox(&title, &text)) return "none";
    return "open\t" + escapeLineBreaks(title) + "\t" + escapeLineBreaks(text);
  }
  if (word == "press-ok" && rest.empty()) return pressOkOnTopMessageBox() ? "ok" : "none";
  if (word == "quit" && rest.empty()) {
    if (!mainWindowSoon()) return "error no main window";
    closeTopLevelWindows();
    return "ok";
  }
  ControlCommandHandler handler = nullptr;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gHandlers.find(word);
    if (it != gHandlers.end()) handler = it->second;
  }
  if (handler) return handler(rest);
  if (word == "tap" || word == "snapshot") return "unsupported";
  return "error unknown command: " + word;
}

bool sendLine(int fd, std::string reply) {
  reply += '\n';
  size_t done = 0;
  while (done < reply.size()) {
    ssize_t n = hostCalls().sendto(fd, reply.data() + done, reply.size() - done, 0, nullptr, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void serveConnection(int fd) {
  std::string pending;
  char buf[1024];
  for (;;) {
    ssize_t n = hostCalls().recvfrom(fd, buf, sizeof buf, 0, nullptr, nullptr);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buf, static_cast<size_t>(n));
    size_t nl;
    bool ok = true;
    while (ok && (nl = pending.find('\n')) != std::string::npos) {
      std::string line = pending.substr(0, nl);
      pending.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      ++gInFlight;
      ok = sendLine(fd, runCommand(line));
      --gInFlight;
    }
    if (!ok) break;
    if (pending.size() > kMaxLine) {
      sendLine(fd, "error line too long");
      break;
    }
  }
  hostCalls().close(fd);
}

void acceptLoop(int listenFd) {
  for (;;) {
    int fd = hostCalls().accept(listenFd, nullptr, nullptr);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      hostCalls().close(listenFd);  // the channel was stopped
      return;
    }
    std::thread(serveConnection, fd).detach();
  }
}

}  // namespace

bool startControlChannel(const std::string& path) {
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  // A socket left by a copy that was killed is replaced; anything else at the
  // path is not ours to remove.
  struct stat st;
  if (hostCalls().lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      errno = EEXIST;
      return false;
    }
    hostCalls().unlink(path.c_str());
  }
  int fd = hostCalls().socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  // Made owner-only from the start: nobody else may drive the program.
  mode_t old = hostCalls().umask(0177);
  int bound = hostCalls().bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  int err = errno;
  hostCalls().umask(old);
  if (bound != 0 || hostCalls().chmod(path.c_str(), 0600) != 0 ||
      hostCalls().listen(fd, 8) != 0) {
    if (bound == 0) err = errno;
    hostCalls().close(fd);
    if (bound == 0) hostCalls().unlink(path.c_str());
    errno = err;
    return false;
  }
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gPath = path;
    gListenFd = fd;
  }
  std::thread(acceptLoop, fd).detach();
  return true;
}

void stopControlChannel() {
  for (int waited = 0; waited < 1000 && gInFlight.load() > 0; waited += 5) Sleep(5);
  std::lock_guard<std::mutex> lock(gMutex);
  if (gListenFd < 0) return;
  hostCalls().shutdown(gListenFd, SHUT_RDWR);  // wakes the accepting thread, which closes it
  hostCalls().unlink(gPath.c_str());
  gListenFd = -1;
  gPath.clear();
}

void setControlCommand(const std::string& name, ControlCommandHandler handler) {
  std::lock_guard<std::mutex> lock(gMutex);
  gHandlers[name] = handler;
}
