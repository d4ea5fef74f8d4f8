// vellumtrace-tool: runs single jobs of the program against a device image.
#include <cstdio>
#include <cstring>

#include "tools/tool/commands.h"

namespace {

// One line a command; a new command adds its line here.
const ToolCommand kCommands[] = {
    {"tag", tagCommand, "[--root DIR] [PHOTO...]"},
    {"card", cardCommand, "[--root DIR] [--sysfs DIR]"},
    {"import", importCommand, "[--root DIR] FILE..."},
};

int usage(FILE* out) {
  fprintf(out, "usage: vellumtrace-tool <command> [options]\n");
  for (const ToolCommand& c : kCommands) fprintf(out, "       vellumtrace-tool %s %s\n", c.name, c.usage);
  return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage(stderr);
  if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) return usage(stdout);
  for (const ToolCommand& c : kCommands)
    if (!strcmp(argv[1], c.name)) return c.run(argc - 2, argv + 2);
  fprintf(stderr, "vellumtrace-tool: unknown command '%s'\n", argv[1]);
  return usage(stderr);
}
