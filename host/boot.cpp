// --boot on the host: what CE's loader does at power-on with the registry's
// HKEY_LOCAL_MACHINE\init\Launch<N> values. The programs are started in the
// order of their numbers, each under its own mapped path (so its module path
// is the installed one and it runs normally), with the host options of this
// run passed on. Launch values this host cannot run (the device's own shell,
// a path that maps to nothing) are reported and skipped, and so are those
// that name a program outside the device image: a host path, or a link,
// since the registry is a file anyone with the image can write. The Depend<N>
// values are not honoured: the programs start one after the other. This is
// the host's launcher, not part of the layer's CE calls: it starts and waits
// for the programs with posix_spawn and waitpid from the host-call table.
#include "host/boot.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/core/byte_order.h"
#include "platform/core/host_calls.h"
#include "platform/kernel/device_image.h"
#include "platform/registry/registry.h"
#include "platform/core/wide_text.h"

extern char** environ;

namespace {

bool launchNumber(const std::u16string& name, unsigned long* order) {
  const std::u16string prefix = u"launch";
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 9) return false;
  if (!sameIgnoringAsciiCase(std::u16string_view(name).substr(0, prefix.size()), prefix)) return false;
  unsigned long n = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < u'0' || name[i] > u'9') return false;
    n = n * 10 + (name[i] - u'0');
  }
  *order = n;
  return true;
}

// The host path of a Launch value's program when it is a program file of
// the device image; otherwise false, with why it is not.
bool programInImage(const std::u16string& cePath, std::string* hostPath, const char** why) {
  *why = "not in the device image";
  if (cePath.empty() || cePath[0] == u'/' || !hostPathFor(cePath.c_str(), hostPath)) return false;
  struct stat st;
  if (hostCalls().lstat(hostPath->c_str(), &st) != 0) {
    *why = strerror(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *why = S_ISLNK(st.st_mode) ? "a link, not a program of the device image" : "not a program file";
    return false;
  }
  if (hostCalls().access(hostPath->c_str(), X_OK) != 0) {
    *why = strerror(errno);
    return false;
  }
  return true;
}

}  // namespace

std::vector<BootEntry> bootEntries() {
  std::vector<BootEntry> entries;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"init", 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD nameChars = 256;
    BYTE data[2 * 1024];
    DWORD dataBytes = sizeof data;
    DWORD type = 0;
    LONG r = RegEnumValueW(key, i, name, &nameChars, nullptr, &type, data, &dataBytes);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;
    BootEntry e;
    e.name.assign(name, nameChars);
    if (!launchNumber(e.name, &e.order)) continue;
    // The text up to its NUL, or all of it when the value has none.
    for (DWORD k = 0; k + 1 < dataBytes; k += 2) {
      char16_t u = static_cast<char16_t>(readLe16(data + k));
      if (u == 0) break;
      e.cePath.push_back(u);
    }
    entries.push_back(std::move(e));
  }
  RegCloseKey(key);
  std::stable_sort(entries.begin(), entries.end(),
                   [](const BootEntry& a, const BootEntry& b) { return a.order < b.order; });
  return entries;
}

int bootDevice(const std::vector<std::string>& options) {
  // INT and TERM are taken here and passed on; the children start with
  // nothing blocked.
  sigset_t wanted, none;
  sigemptyset(&wanted);
  sigaddset(&wanted, SIGINT);
  sigaddset(&wanted, SIGTERM);
  sigaddset(&wanted, SIGCHLD);
  sigemptyset(&none);
  sigprocmask(SIG_BLOCK, &wanted, nullptr);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setsigmask(&attr, &none);
  // Each child in its own process group, so a Ctrl+C at the terminal reaches
  // it once, passed on from here, not twice.
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

  std::vector<pid_t> children;
  int result = 0;
  for (const BootEntry& e : bootEntries()) {
    std::string name = utf8FromUtf16(e.name);
    std::string cePath = utf8FromUtf16(e.cePath);
    std::string hostPath;
    const char* why = nullptr;
    if (!programInImage(e.cePath, &hostPath, &why)) {
      fprintf(stderr, "vellumtrace: boot: %s: cannot start %s: %s\n", name.c_str(),
              cePath.c_str(), why);
      result = 1;
      continue;
    }
    std::vector<std::string> args{hostPath};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (hostCalls().posix_spawn(&pid, hostPath.c_str(), nullptr, &attr, argv.data(), environ) != 0) {
      fprintf(stderr, "vellumtrace: boot: %s: cannot start %s: %s\n", name.c_str(),
              cePath.c_str(), strerror(errno));
      result = 1;
      continue;
    }
    printf("boot\t%s\t%s\n", name.c_str(), cePath.c_str());
    fflush(stdout);
    children.push_back(pid);
  }
  posix_spawnattr_destroy(&attr);

  size_t running = children.size();
  while (running > 0) {
    int sig = 0;
    if (sigwait(&wanted, &sig) != 0) continue;
    if (sig == SIGINT || sig == SIGTERM) {
      for (pid_t pid : children)
        if (pid > 0) hostCalls().kill(pid, sig);
      continue;
    }
    for (pid_t& pid : children) {
      if (pid <= 0) continue;
      int status = 0;
      if (hostCalls().waitpid(pid, &status, WNOHANG) == pid) {
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) result = 1;
        pid = 0;
        --running;
      }
    }
  }
  return result;
}
