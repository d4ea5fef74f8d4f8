// The host entry: main() reads the host options, prepares the device image
// and hands over to the program's own entry point, as the device's loader
// would call it. SIGINT and SIGTERM close the program the way WM_CLOSE to its
// main window does, so the worker closes the track log on its way out; a
// second signal ends the process at once.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/entry.h"
#include "platform/boot.h"
#include "platform/control_channel.h"
#include "platform/device_image.h"
#include "platform/interproc.h"
#include "platform/module_path.h"
#include "platform/msgbox_wait.h"
#include "platform/screen_control.h"
#include "platform/registry_file.h"
#include "platform/resources.h"
#include "platform/threads.h"
#include "platform/window_internals.h"
#include "platform/windows.h"

namespace {

const char kUsage[] =
    "usage: vellumtrace [--root DIR] [--com1 PATH] [--display headless|sdl] [--scale N]\n"
    "                   [--msgbox auto|wait] [--control PATH] [--boot] [--help]\n";

void printHelp() {
  printf("%s", kUsage);
  printf(
      "\n"
      "Records the GPS receiver's fixes into one track log per UTC day and\n"
      "geotags the photos of a camera card from them. Started under a name\n"
      "holding install- or remove- it installs itself into the device image,\n"
      "or removes itself, instead.\n"
      "\n"
      "  --root DIR        the device image (default $VELLUMTRACE_ROOT, else\n"
      "                    ~/.local/share/vellumtrace/device)\n"
      "  --com1 PATH       the receiver's tty (default DIR/Com1)\n"
      "  --display NAME    headless: no window; message boxes print a line\n"
      "                    sdl: the screen in a window (SDL2), touched with the\n"
      "                    mouse; message boxes are drawn and wait for OK\n"
      "                    unless --msgbox auto\n"
      "  --scale N         sdl: each screen pixel as N x N (1 to 8, default 1)\n"
      "  --msgbox MODE     auto: a message box prints its line and is dismissed\n"
      "                    at once (the default); wait: it stays open until the\n"
      "                    control channel's press-ok\n"
      "  --control PATH    a Unix socket taking one command a line: window,\n"
      "                    key ctrl+a|ctrl+q, msgbox, press-ok, quit, tap X Y,\n"
      "                    snapshot FILE (the screen as a PNG)\n"
      "  --boot            start the programs HKEY_LOCAL_MACHINE\\init's Launch\n"
      "                    values name, as the device does at power-on\n"
      "  --help            this text\n");
}

int usageError(const char* what, const char* arg) {
  fprintf(stderr, "vellumtrace: %s '%s'\n%s", what, arg, kUsage);
  return 2;
}

// Waits for INT and TERM (blocked in every thread) and turns the first into
// WM_CLOSE for the main window.
void* signalThread(void* arg) {
  sigset_t* set = static_cast<sigset_t*>(arg);
  bool closing = false;
  for (;;) {
    int sig = 0;
    if (sigwait(set, &sig) != 0) continue;
    HWND main = mainWindowForHost();
    if (closing || !main) {
      stopControlChannel();
      stopInterprocess();
      _exit(128 + sig);
    }
    closing = true;
    PostMessageW(main, WM_CLOSE, 0, 0);
  }
  return nullptr;
}

// The main window is gone; the worker's window outlives it (it belongs to
// another thread). WM_CLOSE ends the worker's loop, which closes the track log
// and the port; its window goes with its thread.
// (An install or remove run's main window is never destroyed and nobody
// pumps it: it is left to go with the process.)
std::vector<HWND> otherWindows() {
  std::vector<HWND> others;
  for (const LocalWindowInfo& w : listLocalWindows())
    if (w.window != mainWindowForHost()) others.push_back(w.window);
  return others;
}

void closeRemainingWindows() {
  for (HWND w : otherWindows()) postToLocalWindow(w, WM_CLOSE, 0, 0);
  for (int waited = 0; waited < 2000 && !otherWindows().empty(); waited += 10) Sleep(10);
}

}  // namespace

int main(int argc, char** argv) {
  std::string root = defaultDeviceRoot();
  std::string control;
  bool boot = false;
  bool waitingBoxes = false;
  bool boxModeGiven = false;
  const char* display = "headless";
  int scale = 1;
  std::vector<std::string> passOn;  // the options a --boot hands to what it starts
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (!strcmp(a, "--help") || !strcmp(a, "-h")) {
      printHelp();
      return 0;
    } else if (!strcmp(a, "--root")) {
      const char* v = value();
      if (!v) return usageError("missing value for", a);
      root = v;
    } else if (!strcmp(a, "--com1")) {
      const char* v = value();
      if (!v) return usageError("missing value for", a);
      setCom1Path(v);
      passOn.insert(passOn.end(), {a, v});
    } else if (!strcmp(a, "--display")) {
      const char* v = value();
      if (!v) return usageError("missing value for", a);
      if (strcmp(v, "headless") != 0 && strcmp(v, "sdl") != 0) return usageError("unknown display", v);
      display = v;
      passOn.insert(passOn.end(), {a, v});
    } else if (!strcmp(a, "--scale")) {
      const char* v = value();
      if (!v) return usageError("missing value for", a);
      char* end = nullptr;
      long n = strtol(v, &end, 10);
      if (*v == 0 || *end != 0 || n < 1 || n > 8) return usageError("the scale must be 1 to 8, not", v);
      scale = static_cast<int>(n);
      passOn.insert(passOn.end(), {a, v});
    } else if (!strcmp(a, "--msgbox")) {
      const char* v = value();
      if (!v) return usageError("missing value for", a);
      boxModeGiven = true;
      if (!strcmp(v, "wait"))
        waitingBoxes = true;
      else if (strcmp(v, "auto") != 0)
        return usageError("unknown message box mode", v);
      passOn.insert(passOn.end(), {a, v});
    } else if (!strcmp(a, "--control")) {
      const char* v = value();
      if (!v) return usageError("missing value for", a);
      control = v;
      passOn.insert(passOn.end(), {a, v});
    } else if (!strcmp(a, "--boot")) {
      boot = true;
    } else {
      return usageError("unknown option", a);
    }
  }
  setDeviceRoot(root);
  if (!prepareDeviceImage()) {
    fprintf(stderr, "vellumtrace: cannot prepare the device image at %s: %s\n", root.c_str(),
            strerror(errno));
    return 1;
  }
  if (!prepareRegistryFile())
    fprintf(stderr, "vellumtrace: cannot write the registry %s: %s\n",
            registryFilePath().c_str(), strerror(errno));
  setvbuf(stdout, nullptr, _IOLBF, 0);

  if (boot) {
    // The programs start in this working folder, so the root means the same.
    passOn.insert(passOn.begin(), {"--root", root});
    return bootDevice(passOn);
  }

  recordModulePath(argv[0]);
  // On a screen someone looks at, a box waits for its OK.
  if (!boxModeGiven && !strcmp(display, "sdl")) waitingBoxes = true;
  if (waitingBoxes) useWaitingMessageBoxes();
  if (!startScreenDisplay(display, scale)) return 1;

  // Blocked before any thread starts, so every thread inherits the mask and
  // only signalThread takes them.
  static sigset_t closeSignals;
  sigemptyset(&closeSignals);
  sigaddset(&closeSignals, SIGINT);
  sigaddset(&closeSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &closeSignals, nullptr);
  pthread_t signals;
  pthread_create(&signals, nullptr, signalThread, &closeSignals);
  pthread_detach(signals);

  startInterprocess();
  if (!control.empty() && !startControlChannel(control)) {
    fprintf(stderr, "vellumtrace: cannot open the control channel %s: %s\n", control.c_str(),
            strerror(errno));
    return 1;
  }
  int code = startApplication(GetModuleHandleW(nullptr), nullptr, nullptr, 0);
  stopControlChannel();
  stopInterprocess();
  closeRemainingWindows();
  // The worker and the host's helper threads may still be running: end here,
  // without running static destructors beneath them.
  fflush(stdout);
  fflush(stderr);
  _exit(code);
}
