// Loading the sdl display: the module vellumtrace-display-sdl.so, opened with
// dlopen the first time --display sdl asks for it, from lib/vellumtrace beside
// the executable's folder (an installed /usr/bin/vellumtrace finds
// /usr/lib/vellumtrace) or below it (the build tree). The module links SDL2;
// the program itself does not, so a headless run never maps SDL2 or the
// graphics and sound libraries SDL2 brings.
//
// dlopen and dlsym do not go through the host-call table: they are the
// process's own loading, and their failure is told by dlerror.
#include <dlfcn.h>
#include <limits.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "platform/core/host_calls.h"
#include "platform/display/display_driver.h"

namespace {

// The folder of the running executable, or "" when /proc cannot say.
std::string executableFolder() {
  char path[PATH_MAX];
  ssize_t n = hostCalls().readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  std::string p(path, static_cast<size_t>(n));
  return p.substr(0, p.rfind('/'));
}

MakeDisplayFn loadSdlModule(std::string* why) {
  const std::string folder = executableFolder();
  const std::string candidates[] = {folder + "/lib/vellumtrace/" VT_SDL_DISPLAY_MODULE,
                                    folder + "/../lib/vellumtrace/" VT_SDL_DISPLAY_MODULE};
  *why = "no " VT_SDL_DISPLAY_MODULE " in " + folder + "/lib/vellumtrace or " + folder + "/../lib/vellumtrace";
  struct stat st;
  for (const std::string& path : candidates) {
    if (folder.empty() || hostCalls().stat(path.c_str(), &st) != 0) continue;
    // Kept open for the life of the process: its driver's code runs to the end.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
      *why = dlerror();
      return nullptr;
    }
    auto make = reinterpret_cast<MakeDisplayFn>(dlsym(module, VT_SDL_DISPLAY_ENTRY));
    if (!make) *why = path + " has no " VT_SDL_DISPLAY_ENTRY;
    return make;
  }
  return nullptr;
}

}  // namespace

DisplayDriver* makeSdlDisplay(const DisplayHostSide* host, int scale) {
  static std::mutex loading;
  static MakeDisplayFn make = nullptr;
  std::string why;
  {
    std::lock_guard<std::mutex> lock(loading);
    if (!make) make = loadSdlModule(&why);
  }
  if (!make) {
    fprintf(stderr, "vellumtrace: cannot load the sdl display: %s\n", why.c_str());
    return nullptr;
  }
  return make(host, scale);
}
