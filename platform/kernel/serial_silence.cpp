// The quiet port's notice; see serial_silence.h. One port is followed, the
// one read last (the device has one "Com1:"); reads come from one thread.
#include "platform/kernel/serial_silence.h"

#include <atomic>
#include <chrono>
#include <string>

#include "platform/kernel/device_image.h"

namespace {

std::atomic<SerialSilenceHandler> gHandler{nullptr};
std::atomic<int64_t> gAfterMs{30000};

HANDLE gPort = nullptr;
int64_t gQuietSinceMs = 0;
bool gSaid = false;

int64_t nowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void setSerialSilenceHandler(SerialSilenceHandler handler, int64_t afterMs) {
  gAfterMs = afterMs;
  gHandler = handler;
}

void noteSerialRead(HANDLE port, size_t got) {
  SerialSilenceHandler handler = gHandler;
  if (!handler) return;
  int64_t now = nowMs();
  if (port != gPort || got > 0) {
    gPort = port;
    gQuietSinceMs = now;
    gSaid = false;
    return;
  }
  if (gSaid || now - gQuietSinceMs < gAfterMs) return;
  gSaid = true;
  std::string path;
  if (hostPathFor(u"Com1:", &path)) handler(path.c_str());
}
