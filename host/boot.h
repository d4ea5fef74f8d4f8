// The host's --boot: starts the programs the registry names under
// HKEY_LOCAL_MACHINE\init, as a CE device does at power-on.
#pragma once

#include <string>
#include <vector>

// One Launch value: its number, its name and the CE path it holds.
struct BootEntry {
  unsigned long order;
  std::u16string name;
  std::u16string cePath;
};

// The Launch<N> values of HKEY_LOCAL_MACHINE\init in the order of their
// numbers; values not named Launch<digits>, or not text, are left out.
std::vector<BootEntry> bootEntries();

// Starts each entry's program (its CE path mapped through the device image)
// with `options` after its name, then waits for all of them; SIGINT and
// SIGTERM are passed on to them. 0 when every one started and ended with 0.
int bootDevice(const std::vector<std::string>& options);
