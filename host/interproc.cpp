// Windows across processes: the part of FindWindowW and PostMessageW that
// reaches the other copies of the program on the same device image, as every
// top-level window on the device is visible to every program there.
//
// Each process publishes its top-level windows through a line server,
// RUN/<pid>.sock, in a run folder only its owner can make: under
// $XDG_RUNTIME_DIR (vellumtrace-<hash of the device root>) when that is the
// user's own closed folder, else inside the device image (DIR/.run). Never
// at a predictable name in a shared folder, where another user could make it
// first and so hide this copy from an installer. The folder must be the
// user's and mode 0700, else nothing is published; the last copy to end
// removes it. A request is one line and so is its reply:
//
//   find<TAB>class<TAB>title    ->  window<TAB>id | none     (- for "any", =text otherwise)
//   post<TAB>id<TAB>message<TAB>wParam<TAB>lParam  ->  ok | fail
//
// A name holding a tab or a line break cannot be asked for, and no window
// is found by it. A socket nobody listens on belongs to a copy that has died:
// it is ignored and removed. A posted message is put in the target window's
// own queue, so WM_CLOSE to a main window is handled by the thread that owns
// it.
#include "host/interproc.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "host/line_server.h"
#include "platform/kernel/device_image.h"
#include "platform/core/host_calls.h"
#include "platform/core/wide_text.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

namespace {

constexpr int kReplyTimeoutMs = 1000;

std::mutex gMutex;
std::string gRunFolder;
LineServer* gServer = nullptr;

// The windows of other processes this one has found, by the handle it gave
// them.
struct RemoteWindow {
  pid_t pid;
  unsigned long long id;  // the window's handle in its own process
};
std::vector<RemoteWindow> gRemote;

// A folder that is the user's own and closed to everyone else.
bool isOwnClosedFolder(const std::string& folder) {
  struct stat st;
  return hostCalls().lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == hostCalls().getuid() && (st.st_mode & 077) == 0;
}

std::string runFolderFor(const std::string& root) {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/' && isOwnClosedFolder(runtime)) {
    unsigned long long h = 1469598103934665603ull;
    for (unsigned char c : root) h = (h ^ c) * 1099511628211ull;
    char name[40];
    snprintf(name, sizeof name, "/vellumtrace-%016llx", h);
    return runtime + std::string(name);
  }
  return root + "/.run";
}

// Makes the run folder, or accepts it only when it is the user's own folder
// and closed to everyone else.
bool prepareRunFolder(const std::string& folder) {
  if (hostCalls().mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
  if (!isOwnClosedFolder(folder)) {
    errno = EACCES;
    return false;
  }
  return true;
}

std::vector<std::string> splitTabs(const std::string& s) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t tab = s.find('\t', start);
    parts.push_back(s.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return parts;
    start = tab + 1;
  }
}

// False for a name that would not stay one field of one line.
bool encodeName(LPCWSTR name, std::string* field) {
  if (!name) {
    *field = "-";
    return true;
  }
  *field = "=" + utf8FromUtf16(name);
  return field->find_first_of("\t\r\n") == std::string::npos;
}

bool decodeName(const std::string& field, std::u16string* out, bool* any) {
  if (field == "-") {
    *any = true;
    return true;
  }
  if (field.empty() || field[0] != '=') return false;
  *any = false;
  *out = utf16FromUtf8(field.substr(1));
  return true;
}

// ---- Serving the other processes -------------------------------------------

// The window another copy's FindWindowW gets: a top-level window without an
// owner first (the main window), then an owned one (the worker's), so that
// WM_CLOSE from an installer reaches the window whose end ends the process.
HWND findLocalWindow(LPCWSTR className, LPCWSTR windowName) {
  auto matches = [&](const LocalWindowInfo& w) {
    return (!className || w.className == className) && (!windowName || w.title == windowName);
  };
  for (const LocalWindowInfo& w : listLocalTopLevelWindows())
    if (matches(w)) return w.window;
  for (const LocalWindowInfo& w : listLocalWindows())
    if (matches(w)) return w.window;
  return nullptr;
}

std::string answer(const std::string& request) {
  std::vector<std::string> f = splitTabs(request);
  if (f.size() == 3 && f[0] == "find") {
    std::u16string cls, title;
    bool anyClass, anyTitle;
    if (!decodeName(f[1], &cls, &anyClass) || !decodeName(f[2], &title, &anyTitle)) return "none";
    HWND w = findLocalWindow(anyClass ? nullptr : cls.c_str(), anyTitle ? nullptr : title.c_str());
    if (!w) return "none";
    return "window\t" + std::to_string(reinterpret_cast<uintptr_t>(w));
  }
  if (f.size() == 5 && f[0] == "post") {
    char* end = nullptr;
    errno = 0;
    unsigned long long id = strtoull(f[1].c_str(), &end, 10);
    if (errno || *end) return "fail";
    unsigned long message = strtoul(f[2].c_str(), &end, 10);
    if (errno || *end) return "fail";
    unsigned long long wParam = strtoull(f[3].c_str(), &end, 10);
    if (errno || *end) return "fail";
    long long lParam = strtoll(f[4].c_str(), &end, 10);
    if (errno || *end) return "fail";
    HWND w = reinterpret_cast<HWND>(static_cast<uintptr_t>(id));
    return postToLocalWindow(w, static_cast<UINT>(message), static_cast<WPARAM>(wParam),
                             static_cast<LPARAM>(lParam))
               ? "ok"
               : "fail";
  }
  return "fail";
}

// ---- Asking them -------------------------------------------------------------

std::string socketOf(const std::string& folder, pid_t pid) {
  return folder + "/" + std::to_string(pid) + ".sock";
}

HWND remoteHandle(pid_t pid, unsigned long long id) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (size_t i = 0; i < gRemote.size(); ++i)
    if (gRemote[i].pid == pid && gRemote[i].id == id) return makeRemoteWindowHandle(static_cast<uint32_t>(i));
  if (gRemote.size() >= 0x3FFFFFFFu) return nullptr;
  gRemote.push_back(RemoteWindow{pid, id});
  return makeRemoteWindowHandle(static_cast<uint32_t>(gRemote.size() - 1));
}

HWND findRemote(LPCWSTR className, LPCWSTR windowName) {
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    folder = gRunFolder;
  }
  if (folder.empty()) return nullptr;
  std::vector<pid_t> peers;
  if (DIR* d = hostCalls().opendir(folder.c_str())) {
    while (dirent* e = hostCalls().readdir(d)) {
      char* end = nullptr;
      long pid = strtol(e->d_name, &end, 10);
      if (pid > 0 && end && strcmp(end, ".sock") == 0 && pid != hostCalls().getpid())
        peers.push_back(static_cast<pid_t>(pid));
    }
    hostCalls().closedir(d);
  }
  std::string classField, titleField;
  if (!encodeName(className, &classField) || !encodeName(windowName, &titleField)) return nullptr;
  std::string request = "find\t" + classField + "\t" + titleField;
  for (pid_t pid : peers) {
    std::string reply;
    std::string path = socketOf(folder, pid);
    switch (askLineServer(path, request, kReplyTimeoutMs, &reply)) {
      case LineAsk::NobodyListens:
        hostCalls().unlink(path.c_str());  // its process is gone
        break;
      case LineAsk::Failed:
        break;
      case LineAsk::Answered: {
        std::vector<std::string> f = splitTabs(reply);
        if (f.size() == 2 && f[0] == "window") {
          char* end = nullptr;
          unsigned long long id = strtoull(f[1].c_str(), &end, 10);
          if (*end == 0) return remoteHandle(pid, id);
        }
        break;
      }
    }
  }
  return nullptr;
}

BOOL postRemote(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  size_t index = remoteWindowToken(window);
  RemoteWindow target;
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    if (index >= gRemote.size() || gRunFolder.empty()) return FALSE;
    target = gRemote[index];
    folder = gRunFolder;
  }
  std::string request = "post\t" + std::to_string(target.id) + "\t" + std::to_string(message) +
                        "\t" + std::to_string(static_cast<unsigned long long>(wParam)) + "\t" +
                        std::to_string(static_cast<long long>(lParam));
  std::string reply;
  return askLineServer(socketOf(folder, target.pid), request, kReplyTimeoutMs, &reply) ==
             LineAsk::Answered &&
         reply == "ok";
}

}  // namespace

bool startInterprocess() {
  std::string folder = runFolderFor(deviceRoot());
  // A socket left by a dead process of the same pid is replaced. The last
  // copy of another run may remove the folder between its making and the
  // bind: then it is made again.
  LineServer* server = nullptr;
  for (int attempt = 0; !server && attempt < 3; ++attempt) {
    if (!prepareRunFolder(folder)) {
      fprintf(stderr, "vellumtrace: run folder %s: %s; other copies will not see this one\n",
              folder.c_str(), strerror(errno));
      return false;
    }
    server = startLineServer(socketOf(folder, hostCalls().getpid()), answer);
    if (!server && errno != ENOENT) break;
  }
  if (!server) return false;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gRunFolder = folder;
    gServer = server;
  }
  RemoteWindowBackend backend{findRemote, postRemote};
  setRemoteWindowBackend(&backend);
  return true;
}

void stopInterprocess() {
  LineServer* server;
  std::string folder;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    server = gServer;
    folder = gRunFolder;
  }
  stopLineServer(server);
  if (!server || folder.empty()) return;
  // The last copy leaves nothing behind: the sockets of copies that died are
  // cleared, and while a live copy's socket is there the folder stays.
  if (DIR* d = hostCalls().opendir(folder.c_str())) {
    while (dirent* e = hostCalls().readdir(d)) {
      char* end = nullptr;
      long pid = strtol(e->d_name, &end, 10);
      if (pid > 0 && end && strcmp(end, ".sock") == 0 &&
          hostCalls().kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
        hostCalls().unlink(socketOf(folder, static_cast<pid_t>(pid)).c_str());
    }
    hostCalls().closedir(d);
  }
  hostCalls().rmdir(folder.c_str());
}
