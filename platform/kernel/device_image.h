// The device image: CE's object store as one host folder, the device root.
//
//   \ResidentFlash\...        DIR/ResidentFlash/...
//   \SDMMC\... and SDMMC\...  DIR/SDMMC/... (a folder, or a symlink to a card)
//   "Com1:"                   DIR/Com1, or the path given to setCom1Path
//   "DSK2:"                   DIR/DSK2
//   the registry              DIR/registry.reg
//
// CE separators are backslashes; a name matches exactly first, then
// case-insensitively (ASCII letters), as on the device's FAT volumes. A path
// that starts with "/" is a host path and is used as it is.
#pragma once

#include <string>

#include "platform/core/ce_types.h"

enum class CeDevice { None, Com1, Dsk2 };

void setDeviceRoot(const std::string& hostDir);
const std::string& deviceRoot();
// The root named by $VELLUMTRACE_ROOT, else $XDG_DATA_HOME/vellumtrace/device,
// else $HOME/.local/share/vellumtrace/device; empty when none of them is set.
std::string defaultDeviceRoot();
void setCom1Path(const std::string& hostPath);
// Creates the root and its ResidentFlash and SDMMC folders when missing.
// Returns false (with errno set) when the root cannot be made.
bool prepareDeviceImage();

// Which device a CreateFileW name opens, if any ("Com1:", "DSK2:").
CeDevice ceDeviceName(LPCWSTR name);
// The host path of a CE name; false when the name cannot be mapped.
bool hostPathFor(LPCWSTR ceName, std::string* hostPath);
std::string hostPathFor(LPCWSTR ceName);
