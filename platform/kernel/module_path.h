// The module's path: GetModuleFileNameW, the path the program was started as
// (a CE path when it lies inside the device image, else the host path).
#pragma once

#include <string>

#include "platform/core/ce_types.h"

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// ---- Host side ------------------------------------------------------------------

// Records the program's path from argv[0]: made absolute against the working
// folder, or found through $PATH when it has no slash. Symlinks are kept as
// they are, so a link named install-vellumtrace is the module's own name, as
// a copy under that name would be on the device.
void recordModulePath(const char* argv0);
// The absolute path for argv0 by those rules; empty when it cannot be found.
std::string modulePathFor(const char* argv0, const char* pathVariable, const std::string& cwd);
