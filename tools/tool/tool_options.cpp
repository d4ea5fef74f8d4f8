// The command-line pieces every command of vellumtrace-tool uses.
#include "tools/tool/tool_options.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "platform/kernel/device_image.h"

const char kToolVersion[] = "vellumtrace-tool " VT_VERSION "\n";

int optionValue(const char* command, int argc, char** argv, int* i, const char* name,
                std::string* value) {
  const char* word = argv[*i];
  const size_t n = strlen(name);
  if (strncmp(word, name, n) != 0) return 0;
  if (word[n] != 0 && word[n] != '=') return 0;
  const char* given = word[n] == '=' ? word + n + 1 : *i + 1 < argc ? argv[++*i] : "";
  // An empty value would quietly stand for the default.
  if (*given == 0) {
    fprintf(stderr, "vellumtrace-tool %s: %s needs a value\n", command, name);
    return -1;
  }
  *value = given;
  return 1;
}

bool isOption(const char* word) { return word[0] == '-' && word[1] != 0; }

int useDeviceImage(const char* command, const std::string& given) {
  const std::string root = given.empty() ? defaultDeviceRoot() : given;
  if (root.empty()) {
    fprintf(stderr,
            "vellumtrace-tool %s: no device image: neither VELLUMTRACE_ROOT, XDG_DATA_HOME nor "
            "HOME is set; name one with --root DIR\n",
            command);
    return 1;
  }
  // Making an image here would hide a mistyped --root behind an empty card
  // and an empty track log.
  struct stat st;
  if (stat((root + "/ResidentFlash").c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    fprintf(stderr,
            "vellumtrace-tool %s: %s is not a device image (it has no ResidentFlash folder; "
            "vellumtrace --root %s makes one)\n",
            command, root.c_str(), root.c_str());
    return 1;
  }
  setDeviceRoot(root);
  return 0;
}
