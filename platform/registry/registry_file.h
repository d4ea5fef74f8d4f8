// The registry file behind the Reg* calls (registry_file.cpp says how it is
// kept).
#pragma once

#include <string>

#include "platform/core/ce_types.h"
#include "platform/registry/registry_text.h"

// The registry file of the current device root.
std::string registryFilePath();
// Writes the registry a new device image starts with (the key
// HKEY_LOCAL_MACHINE\init, empty) when there is no registry file yet.
// False when it could not be written.
bool prepareRegistryFile();

// ---- Inside the registry family ---------------------------------------------------
enum class LoadResult { Loaded, Missing, Malformed, Unreadable };
// Reads the file: Missing gives the registry of a new image; Malformed an
// empty one (reported once); Unreadable leaves *err the errno.
LoadResult loadRegistry(Registry* r, int* err);
// Writes the whole registry beside the file and renames it into place; a CE
// error code.
LONG saveRegistry(const Registry& r);
// Holds the device root's flock for one read-modify-write of the file.
class RegistryFileLock {
 public:
  RegistryFileLock();
  ~RegistryFileLock();
  RegistryFileLock(const RegistryFileLock&) = delete;
  RegistryFileLock& operator=(const RegistryFileLock&) = delete;

 private:
  int fd_;
};
