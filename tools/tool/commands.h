// The subcommands of vellumtrace-tool. Each takes the arguments after its name
// and returns the process's exit status: 0 when the run completed, 2 for a
// usage error (after printing its usage line).
#pragma once

#include <string>

struct ToolCommand {
  const char* name;
  int (*run)(int argc, char** argv);
  const char* usage;  // the arguments, after the command's name
};

int tagCommand(int argc, char** argv);
int cardCommand(int argc, char** argv);
int gpxCommand(int argc, char** argv);
int logCommand(int argc, char** argv);
int importCommand(int argc, char** argv);

// After a failed CE call: "vellumtrace-tool: WHAT: open /x/y: reason" on
// standard error, when a host call's failure is behind the thread's last error.
void reportHostFailure(const std::string& what);
