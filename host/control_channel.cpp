// The control channel: see control_channel.h for the commands. Served by the
// line server (a Unix stream socket, mode 0600, in a folder the caller
// chooses; a thread for each connection); each command runs on its
// connection's thread and reaches the program only through the calls a device
// would see: a posted message, a key press fed to the main window's thread,
// the waiting message box's dismissal.
#include "host/control_channel.h"

#include <map>
#include <mutex>

#include "host/line_server.h"
#include "host/process_windows.h"
#include "platform/display/display.h"
#include "platform/display/screen.h"
#include "platform/display/input_injection.h"
#include "platform/core/wide_text.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

namespace {

constexpr int kMainWindowWaitMs = 5000;

std::mutex gMutex;
LineServer* gServer = nullptr;
std::map<std::string, ControlCommandHandler> gHandlers;

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
    if (!topScreenMessageBox(&title, &text)) return "none";
    return "open\t" + escapeLineBreaks(title) + "\t" + escapeLineBreaks(text);
  }
  if (word == "press-ok" && rest.empty()) return pressMessageBoxOk() ? "ok" : "none";
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

}  // namespace

bool startControlChannel(const std::string& path) {
  LineServer* server = startLineServer(path, runCommand);
  if (!server) return false;
  std::lock_guard<std::mutex> lock(gMutex);
  gServer = server;
  return true;
}

void stopControlChannel() {
  LineServer* server;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    server = gServer;
  }
  stopLineServer(server);
}

void setControlCommand(const std::string& name, ControlCommandHandler handler) {
  std::lock_guard<std::mutex> lock(gMutex);
  gHandlers[name] = handler;
}
