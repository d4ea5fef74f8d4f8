// vellumtrace-tool: runs single jobs of the program against a device image.
#include <cstdio>
#include <cstring>

static int usage(FILE* out) {
  fprintf(out, "usage: vellumtrace-tool <command> [options]\n");
  return out == stdout ? 0 : 2;
}

int main(int argc, char** argv) {
  if (argc < 2) return usage(stderr);
  if (!strcmp(argv[1], "--help") || !strcmp(argv[1], "-h")) return usage(stdout);
  fprintf(stderr, "vellumtrace-tool: unknown command '%s'\n", argv[1]);
  return usage(stderr);
}
