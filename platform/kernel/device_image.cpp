// Maps CE object-store names onto the device root on the host; see
// device_image.h for the table. Case-insensitive matching walks the folders
// one component at a time, preferring an exact match.
#include "platform/kernel/device_image.h"

#include <fcntl.h>

#include <atomic>
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
std::string gCardDevice;
std::string gCardMount;

std::string cardDevicePath() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gCardDevice;
}

std::string cardMountPath() {
  std::lock_guard<std::mutex> lock(gMutex);
  return gCardMount;
}

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
  // Below the folder where a real card is mounted, as below DIR/SDMMC.
  const std::string mount = cardMountPath();
  if (!mount.empty() && hostPath.size() > mount.size() + 1 && hostPath.compare(0, mount.size(), mount) == 0 &&
      hostPath[mount.size()] == '/')
    return true;
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

static std::atomic<unsigned> gImageMask{077};

unsigned createModeFor(const std::string& hostPath) {
  const std::string flash = deviceRoot() + "/ResidentFlash/";
  return hostPath.compare(0, flash.size(), flash) == 0 ? 0666 & ~gImageMask.load() : 0666;
}

void setImageCreationMask(unsigned mask) { gImageMask = (mask & 0777) | 007; }

unsigned imageFolderMode() { return 0777 & ~gImageMask.load(); }

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
  // A relative XDG_DATA_HOME is to be ignored, as the base-directory rules say.
  if (const char* data = getenv("XDG_DATA_HOME"); data && data[0] == '/')
    return std::string(data) + "/vellumtrace/device";
  // No home, no default: a shared folder such as /tmp would mix one user's
  // tracks with another's and lose them at the next boot.
  const char* home = getenv("HOME");
  if (!home || home[0] != '/') return {};
  return std::string(home) + "/.local/share/vellumtrace/device";
}

void setCom1Path(const std::string& hostPath) {
  std::lock_guard<std::mutex> lock(gMutex);
  gCom1 = hostPath;
}

void setCardDevicePath(const std::string& hostPath) {
  std::lock_guard<std::mutex> lock(gMutex);
  gCardDevice = hostPath;
}

void setCardMountPath(const std::string& hostDir) {
  std::lock_guard<std::mutex> lock(gMutex);
  gCardMount = hostDir;
  while (gCardMount.size() > 1 && gCardMount.back() == '/') gCardMount.pop_back();
}

bool isCardFolder(LPCWSTR ceName) {
  if (!ceName) return false;
  std::u16string_view n(ceName, wcslen16(ceName));
  while (!n.empty() && n.front() == u'\\') n.remove_prefix(1);
  while (!n.empty() && n.back() == u'\\') n.remove_suffix(1);
  return sameIgnoringAsciiCase(n, u"SDMMC");
}

bool cardFolderMounted() {
  const std::string folder = hostPathFor(u"\\SDMMC");
  struct stat st, parent, device;
  if (folder.empty() || hostCalls().stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (hostCalls().stat(hostPathFor(u"DSK2:").c_str(), &device) != 0 || !S_ISBLK(device.st_mode))
    return true;
  // ".." of the folder itself, after any link to it has been followed.
  if (hostCalls().stat((folder + "/..").c_str(), &parent) != 0) return false;
  return st.st_dev != parent.st_dev || st.st_ino == parent.st_ino;
}

bool prepareDeviceImage() {
  const std::string& root = deviceRoot();
  if (root.empty()) {
    errno = ENOENT;
    return false;
  }
  // Make each missing folder of the root, as mkdir -p does.
  for (size_t pos = 1; pos <= root.size(); ++pos) {
    if (pos == root.size() || root[pos] == '/') {
      std::string part = root.substr(0, pos);
      if (hostCalls().mkdir(part.c_str(), imageFolderMode()) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st;
  for (const char* sub : {"/ResidentFlash", "/SDMMC"}) {
    std::string p = root + sub;
    if (hostCalls().lstat(p.c_str(), &st) == 0) continue;  // a folder or a link to a card
    if (hostCalls().mkdir(p.c_str(), imageFolderMode()) != 0 && errno != EEXIST) return false;
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
    case CeDevice::Dsk2: {
      const std::string device = cardDevicePath();
      *out = device.empty() ? deviceRoot() + "/DSK2" : device;
      return true;
    }
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
  if (root.empty()) return false;  // no image: never the host's own root
  const std::string mount = cardMountPath();
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
    if (depth == 0 && !mount.empty() && sameIgnoringAsciiCase(comp, "SDMMC")) {
      path = mount;  // the card's folder is where the system mounts it
      linkFree = true;
    } else {
      std::string matched = matchComponent(path, comp);
      if (depth == 0) linkFree = isLinkFreeTop(root, path, matched);
      path += "/" + matched;
    }
    ++depth;
  }
  *out = path;
  return true;
}

std::string hostPathFor(LPCWSTR ceName) {
  std::string p;
  return hostPathFor(ceName, &p) ? p : std::string();
}
