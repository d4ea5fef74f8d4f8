// The device image: CE's object store as one host folder, the device root.
//
//   \ResidentFlash\...        DIR/ResidentFlash/...
//   \SDMMC\... and SDMMC\...  DIR/SDMMC/... (a folder, or a symlink to a card),
//                             or the folder given to setCardMountPath
//   "Com1:"                   DIR/Com1, or the path given to setCom1Path
//   "DSK2:"                   DIR/DSK2, or the path given to setCardDevicePath
//   the registry              DIR/registry.reg
//
// CE separators are backslashes; a name matches exactly first, then
// case-insensitively (ASCII letters), as on the device's FAT volumes. A path
// that starts with "/" is a host path and is used as it is.
//
// DIR/SDMMC and DIR/ResidentFlash may themselves be links (to the mounted
// card, to a flash partition), but below them no link is followed: a card is
// a file system someone else made, and a link planted there would have the
// program write outside the image. A name whose folders below them hold a
// link does not map; the last component is the opener's to refuse
// (openBelowImage).
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
// A real card: its block device (or a udev link to it), and the folder the
// system mounts its file system at. Empty: DIR/DSK2 and DIR/SDMMC.
void setCardDevicePath(const std::string& hostPath);
void setCardMountPath(const std::string& hostDir);
// Whether a CE name is the card's folder itself (\SDMMC, SDMMC).
bool isCardFolder(LPCWSTR ceName);
// Whether the card's file system is there. On a real system a card's block
// device answers before its file system is mounted, and until then its mount
// folder is an empty folder of another file system: so when the card's
// device is a block device, its folder counts only once it is a mount point
// (a file system other than its parent's). A simulated card's folder counts
// as soon as it exists.
bool cardFolderMounted();
// Creates the root and its ResidentFlash and SDMMC folders when missing.
// Returns false (with errno set) when the root cannot be made.
bool prepareDeviceImage();

// Which device a CreateFileW name opens, if any ("Com1:", "DSK2:").
CeDevice ceDeviceName(LPCWSTR name);
// The host path of a CE name; false when the name cannot be mapped.
bool hostPathFor(LPCWSTR ceName, std::string* hostPath);
std::string hostPathFor(LPCWSTR ceName);

// ---- Host side: opening without following links or blocking --------------

// Whether a host path lies below DIR/SDMMC or DIR/ResidentFlash, where links
// are not followed.
bool linksRefusedAt(const std::string& hostPath);
// Whether `hostPath` itself is a link (false when it does not exist).
bool isLink(const std::string& hostPath);
// Opens a host file of the image without blocking (a FIFO or a device where
// a file is expected answers at once) and, below the card and flash folders,
// without following a link at the last component (ELOOP). The descriptor, or
// -1 with errno set.
int openBelowImage(const std::string& hostPath, int flags, unsigned mode);
// The mode a file created at `hostPath` gets: the flash folder keeps the
// owner's location history, so what is made there is the owner's alone
// (0600), unless the image's creation mask opens it to the group.
unsigned createModeFor(const std::string& hostPath);
// The mask for the image's own folders and the files of its flash folder:
// 077 (owner only, the default); a service may open them to its group (027:
// folders 0750, files 0640). Others never get more than the mask allows.
void setImageCreationMask(unsigned mask);
unsigned imageFolderMode();
