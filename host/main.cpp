// The host entry: main() reads the host options, prepares the device image
// and hands over to the program's own entry point, as the device's loader
// would call it. SIGINT and SIGTERM close the program the way WM_CLOSE to its
// main window does, so the worker closes the track log on its way out; a
// second signal ends the process at once.
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/entry.h"
#include "app/program_settings.h"
#include "host/boot.h"
#include "host/control_channel.h"
#include "host/gpsd_hint.h"
#include "host/host_options.h"
#include "host/interproc.h"
#include "host/process_windows.h"
#include "host/screen_control.h"
#include "platform/core/host_calls.h"
#include "platform/kernel/device_image.h"
#include "platform/kernel/gpsd_port.h"
#include "platform/kernel/module_path.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/serial_silence.h"
#include "platform/registry/registry_file.h"
#include "platform/user/resources.h"
#include "platform/core/threads.h"
#include "platform/user/windows.h"

namespace {

constexpr int kCloseWaitMs = 2000;

// Waits for INT and TERM (blocked in every thread) and turns the first into
// WM_CLOSE for the process's top-level windows: the main window.
void* signalThread(void* arg) {
  sigset_t* set = static_cast<sigset_t*>(arg);
  bool closing = false;
  for (;;) {
    int sig = 0;
    if (sigwait(set, &sig) != 0) continue;
    if (closing || !closeTopLevelWindows()) {
      stopControlChannel();
      stopInterprocess();
      _exit(128 + sig);
    }
    closing = true;
  }
  return nullptr;
}

// A card the screen offers, as one line on standard output (the journal's,
// for a service): its photos, its size and its free space.
void printCardOffered(int32_t photos, uint64_t bytesTotal, uint64_t bytesFree) {
  printf("card\t%d photos\t%llu KB\t%llu KB free\n", static_cast<int>(photos),
         static_cast<unsigned long long>(bytesTotal / 1024), static_cast<unsigned long long>(bytesFree / 1024));
  fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (parseHostOptions(argc, argv, &options, &error) != 0) {
    fprintf(stderr, "vellumtrace: %s\n%s", error.c_str(), kHostUsage);
    return 2;
  }
  if (options.help) {
    printf("%s%s", kHostUsage, kHostHelp);
    return 0;
  }
  if (options.version) {
    fputs(kHostVersion, stdout);
    return 0;
  }
  std::string root = options.root.empty() ? defaultDeviceRoot() : options.root;
  if (root.empty()) {
    fprintf(stderr,
            "vellumtrace: no device image: neither VELLUMTRACE_ROOT, XDG_DATA_HOME nor HOME is "
            "set; name one with --root DIR\n");
    return 1;
  }
  if (!options.com1.empty()) setCom1Path(options.com1);
  setCardDevicePath(options.cardDevice);
  setCardMountPath(options.cardMount);
  if (options.baud != 0) setComBaudRate(static_cast<DWORD>(options.baud));
  if (!options.gpsdHost.empty())
    setComGpsd(options.gpsdHost, options.gpsdPort);
  else
    setSerialSilenceHandler(sayGpsdMayHoldTheReceiver);
  setDeviceRoot(root);
  // The image's folders and day logs are the owner's alone, unless the umask
  // shuts others out and so says the group may read them (a service's
  // UMask=0027): the usual 022, which leaves them open to everyone, is no
  // such choice.
  const mode_t mask = hostCalls().umask(077);
  hostCalls().umask(mask);
  if ((mask & 007) == 007) setImageCreationMask(mask);
  if (!prepareDeviceImage()) {
    fprintf(stderr, "vellumtrace: cannot prepare the device image at %s: %s\n", root.c_str(),
            strerror(errno));
    return 1;
  }
  if (!prepareRegistryFile())
    fprintf(stderr, "vellumtrace: cannot write the registry %s: %s\n",
            registryFilePath().c_str(), strerror(errno));
  setvbuf(stdout, nullptr, _IOLBF, 0);

  if (options.boot) {
    // The programs start in this working folder, so the root means the same.
    std::vector<std::string> passOn = options.passOn;
    passOn.insert(passOn.begin(), {"--root", root});
    return bootDevice(passOn);
  }

  recordModulePath(argv[0]);
  setCameraClockOffset(options.cameraOffset);
  setAutomaticBatches(options.autoTag);
  setCardOfferReport(printCardOffered);
  if (options.waitingBoxes) useWaitingMessageBoxes();
  // Blocked before any thread starts, so every thread inherits the mask and
  // only signalThread takes them: the sdl display's thread and SDL's own too,
  // which would otherwise take a signal and end the process by it, the track
  // log unclosed and the sockets left behind.
  static sigset_t closeSignals;
  sigemptyset(&closeSignals);
  sigaddset(&closeSignals, SIGINT);
  sigaddset(&closeSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &closeSignals, nullptr);
  pthread_t signals;
  pthread_create(&signals, nullptr, signalThread, &closeSignals);
  pthread_detach(signals);
  if (!startScreenDisplay(options.display.c_str(), options.scale)) return 1;

  startInterprocess();
  if (!options.control.empty() && !startControlChannel(options.control)) {
    int err = errno;
    fprintf(stderr, "vellumtrace: cannot open the control channel %s: %s\n",
            options.control.c_str(),
            err == EADDRINUSE ? "a running program holds it" : strerror(err));
    stopInterprocess();
    return 1;
  }
  int code = startApplication(GetModuleHandleW(nullptr), nullptr, nullptr, 0);
  stopControlChannel();
  stopInterprocess();
  // The main window is gone; the worker's window outlives it (it belongs to
  // another thread). WM_CLOSE ends the worker's loop, which closes the track
  // log and the port. (An install or remove run's main window is never
  // destroyed and nobody pumps it: it goes with the process.)
  closeRemainingWindows(kCloseWaitMs);
  // The worker and the host's helper threads may still be running: end here,
  // without running static destructors beneath them.
  fflush(stdout);
  fflush(stderr);
  _exit(code);
}
