// The gpsd hint; see gpsd_hint.h.
#include "host/gpsd_hint.h"

#include <dirent.h>
#include <fcntl.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/core/host_calls.h"

bool gpsdRunsHere(const std::string& procRoot) {
  DIR* dir = hostCalls().opendir(procRoot.c_str());
  if (!dir) return false;
  bool found = false;
  while (struct dirent* entry = hostCalls().readdir(dir)) {
    if (!isdigit(static_cast<unsigned char>(entry->d_name[0]))) continue;
    std::string comm = procRoot + "/" + entry->d_name + "/comm";
    int fd = hostCalls().open(comm.c_str(), O_RDONLY, 0);
    if (fd < 0) continue;  // gone meanwhile
    char name[32] = {};
    ssize_t n = hostCalls().read(fd, name, sizeof name - 1);
    hostCalls().close(fd);
    if (n > 0 && strncmp(name, "gpsd\n", 5) == 0) {
      found = true;
      break;
    }
  }
  hostCalls().closedir(dir);
  return found;
}

void sayGpsdMayHoldTheReceiver(const char* path) {
  static std::atomic<bool> said{false};
  if (said || !gpsdRunsHere()) return;
  said = true;
  fprintf(stderr,
          "vellumtrace: the receiver at %s has sent nothing for 30 s, and gpsd runs on this "
          "machine: gpsd may hold the receiver. Read it through gpsd with --gpsd localhost, or "
          "stop gpsd (systemctl stop gpsd.socket gpsd)\n",
          path);
}
