// The host entry: main() reads the host options, prepares the device image
// and hands over to the program's own entry point, as the device's loader
// would call it.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/entry.h"
#include "platform/device_image.h"

namespace {

const char kUsage[] =
    "usage: vellumtrace [--root DIR] [--com1 PATH] [--display headless] [--help]\n";

void printHelp() {
  printf("%s", kUsage);
  printf(
      "\n"
      "Records the GPS receiver's fixes into one track log per UTC day and\n"
      "geotags the photos of a camera card from them.\n"
      "\n"
      "  --root DIR        the device image (default $VELLUMTRACE_ROOT, else\n"
      "                    ~/.local/share/vellumtrace/device)\n"
      "  --com1 PATH       the receiver's tty (default DIR/Com1)\n"
      "  --display NAME    headless: no screen; message boxes print a line\n"
      "  --help            this text\n");
}

int usageError(const char* what, const char* arg) {
  fprintf(stderr, "vellumtrace: %s '%s'\n%s", what, arg, kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string root = defaultDeviceRoot();
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    if (!strcmp(a, "--help") || !strcmp(a, "-h")) {
      printHelp();
      return 0;
    } else if (!strcmp(a, "--root")) {
      const char* v = value(a);
      if (!v) return usageError("missing value for", a);
      root = v;
    } else if (!strcmp(a, "--com1")) {
      const char* v = value(a);
      if (!v) return usageError("missing value for", a);
      setCom1Path(v);
    } else if (!strcmp(a, "--display")) {
      const char* v = value(a);
      if (!v) return usageError("missing value for", a);
      if (strcmp(v, "headless") != 0) return usageError("unknown display", v);
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
  setvbuf(stdout, nullptr, _IOLBF, 0);
  return startApplication(nullptr, nullptr, nullptr, 0);
}
