// Maps CE object-store names onto the device root on the host; see
// device_image.h for the table. Case-insensitive matching walks the folders
// one component at a time, preferring an exact match.
#include "platform/kernel/device_image.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/stat.h>

#include "platform/core/host_calls.h"
#include "platform/core/wide_text.h"

namespace {

std::mutex gMutex;
std::string gRoot;
std::string gCom1;

// Finds the entry of folder `dir` named `name`: exactly, else ignoring case.
std::string matchComponent(const std::string& dir, const std::string& name) {
  struct stat st;
  std::string exact = dir + "/" + name;
  if (hostCalls().lstat(exact.c_str(), &st) == 0) return name;
  DIR* d = hostCalls().opendir(dir.c_str());
  if (!d) return name;
  std::string found = name;
  while (struct dirent* e = hostCalls().readdir(d)) {
    if (sameIgnoringAsciiCase(e->d_name, name)) {
      found = e->d_name;
      break;
    }
  }
  hostCalls().closedir(d);
  return found;
}

// Whether `dir` + "/" + `name` is one of the image's two link-free folders.
bool isLinkFreeTop(const std::string& root, const std::string& dir, const std::string& name) {
  return dir == root &&
         (sameIgnoringAsciiCase(name, "SDMMC") || sameIgnoringAsciiCase(name, "ResidentFlash"));
}

}  // namespace

bool isLink(const std::string& hostPath) {
  struct stat st;
  return hostCalls().lstat(hostPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool linksRefusedAt(const std::string& hostPath) {
  const std::string& root = deviceRoot();
  if (hostPath.size() <= root.size() + 1 || hostPath.compare(0, root.size(), root) != 0 ||
      hostPath[root.size()] != '/')
    return false;
  size_t start = root.size() + 1;
  size_t slash = hostPath.find('/', start);
  if (slash == std::string::npos || slash + 1 >= hostPath.size()) return false;  // the top itself
  return isLinkFreeTop(root, root, hostPath.substr(start, slash - start));
}

int openBelowImage(const std::string& hostPath, int flags, unsigned mode) {
  flags |= O_NONBLOCK;
  if (linksRefusedAt(hostPath)) flags |= O_NOFOLLOW;
  return hostCalls().open(hostPath.c_str(), flags, static_cast<mode_t>(mode));
}

unsigned createModeFor(const std::string& hostPath) {
  const std::string flash = deviceRoot() + "/ResidentFlash/";
  return hostPath.compare(0, flash.size(), flash) == 0 ? 0600 : 0666;
}

void setDeviceRoot(const std::string& hostDir) {
  std::lock_guard<std::mutex> lock(gMutex);
  gRoot = hostDir;
  while (gRoot.size() > 1 && gRoot.back() == '/') gRoot.pop_back();
}

const std::string& deviceRoot() {
  std::lock_guard<std::mutex> lock(gMutex);
  if (gRoot.empty()) gRoot = defaultDeviceRoot();
  return gRoot;
}

std::string defaultDeviceRoot() {
  if (const char* env = getenv("VELLUMTRACE_ROOT"); env && *env) return env;
  const char* home = getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/vellumtrace/device";
}

void setCom1Path(const std::string& hostPath) {
  std::lock_guard<std::mutex> lock(gMutex);
  gCom1 = hostPath;
}

bool prepareDeviceImage() {
  const std::string& root = deviceRoot();
  // Make each missing folder of the root, as mkdir -p does.
  for (size_t pos = 1; pos <= root.size(); ++pos) {
    if (pos == root.size() || root[pos] == '/') {
      std::string part = root.substr(0, pos);
      if (hostCalls().mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st;
  for (const char* sub : {"/ResidentFlash", "/SDMMC"}) {
    std::string p = root + sub;
    if (hostCalls().lstat(p.c_str(), &st) == 0) continue;  // a folder or a link to a card
    if (hostCalls().mkdir(p.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

CeDevice ceDeviceName(LPCWSTR name) {
  if (!name) return CeDevice::None;
  std::u16string_view n(name, wcslen16(name));
  if (sameIgnoringAsciiCase(n, u"Com1:")) return CeDevice::Com1;
  if (sameIgnoringAsciiCase(n, u"DSK2:")) return CeDevice::Dsk2;
  return CeDevice::None;
}

bool hostPathFor(LPCWSTR ceName, std::string* out) {
  if (!ceName || ceName[0] == 0) return false;
  switch (ceDeviceName(ceName)) {
    case CeDevice::Com1: {
      std::lock_guard<std::mutex> lock(gMutex);
      if (!gCom1.empty()) {
        *out = gCom1;
        return true;
      }
      break;
    }
    case CeDevice::Dsk2:
      *out = deviceRoot() + "/DSK2";
      return true;
    case CeDevice::None:
      break;
  }
  if (ceDeviceName(ceName) == CeDevice::Com1) {
    *out = deviceRoot() + "/Com1";
    return true;
  }
  std::string name = utf8FromUtf16(ceName);
  if (name[0] == '/') {
    *out = name;
    return true;
  }
  const std::string root = deviceRoot();
  std::string path = root;
  int depth = 0;          // components added so far
  bool linkFree = false;  // the first one was SDMMC or ResidentFlash
  size_t i = 0;
  while (i < name.size()) {
    size_t j = name.find('\\', i);
    if (j == std::string::npos) j = name.size();
    std::string comp = name.substr(i, j - i);
    i = j + 1;
    if (comp.empty() || comp == ".") continue;
    if (comp == ".." || comp.find('/') != std::string::npos) return false;  // stay inside the root
    // A folder below the card or flash folder must not be a link; the last
    // component is checked by whoever opens it.
    if (linkFree && depth >= 2 && isLink(path)) {
      errno = ELOOP;
      return false;
    }
    std::string matched = matchComponent(path, comp);
    if (depth == 0) linkFree = isLinkFreeTop(root, path, matched);
    path += "/" + matched;
    ++depth;
  }
  *out = path;
  return true;
}

std::string hostPathFor(LPCWSTR ceName) {
  std::string p;
  return hostPathFor(ceName, &p) ? p : std::string();
}
