// The host side of the registry: the file DIR/registry.reg behind the Reg*
// calls.
#pragma once

#include <string>

// The registry file of the current device root.
std::string registryFilePath();
// Writes the registry a new device image starts with (the key
// HKEY_LOCAL_MACHINE\init, empty) when there is no registry file yet.
// False when it could not be written.
bool prepareRegistryFile();
