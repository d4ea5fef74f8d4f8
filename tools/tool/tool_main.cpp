// vellumtrace-tool: runs single jobs of the program against a device image.
#include <cstdio>
#include <cstring>

#include "tools/tool/commands.h"
#include "tools/tool/tool_options.h"

namespace {

// One line a command; a new command adds its line here.
const ToolCommand kCommands[] = {
    {"tag", tagCommand, "[--root DIR] [--card-mount DIR] [--offset +HH:MM] [--dry-run] [PHOTO...]"},
    {"card", cardCommand, "[--root DIR] [--card-device DEV] [--card-mount DIR] [--sysfs DIR]"},
    {"gpx", gpxCommand, "[--root DIR] [DDMMYY...]"},
    {"log", logCommand, "[--root DIR] [DDMMYY...]"},
    {"import", importCommand, "[--root DIR] FILE..."},
};

int usage(FILE* out) {
  fprintf(out, "usage: vellumtrace-tool <command> [options]\n");
  for (const ToolCommand& c : kCommands) fprintf(out, "       vellumtrace-tool %s %s\n", c.name, c.usage);
  fprintf(out, "       vellumtrace-tool --version\n"
               "Each command's --help tells what it does.\n");
  return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(stderr);
  if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h") || !strcmp(argv[1], "help")) return usage(stdout);
  if (!strcmp(argv[1], "--version")) {
    fputs(kToolVersion, stdout);
    return 0;
  }
  for (const ToolCommand& c : kCommands)
    if (!strcmp(argv[1], c.name)) return c.run(argc - 2, argv + 2);
  fprintf(stderr, "vellumtrace-tool: unknown %s '%s'\n", isOption(argv[1]) ? "option" : "command", argv[1]);
  return usage(stderr);
}
