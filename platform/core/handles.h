// The handle table behind HANDLE values: files, devices, searches, threads.
// A HANDLE is an index into one process-wide table, never a host pointer, so
// a stale or forged handle is caught instead of followed.
#pragma once

#include <sys/types.h>

#include "platform/core/ce_types.h"

enum class HandleKind : uint8_t { Free, File, Serial, Device, Find, Thread };

struct HandleEntry {
  HandleKind kind = HandleKind::Free;
  int fd = -1;
  DWORD access = 0;  // GENERIC_READ / GENERIC_WRITE as opened
  DWORD share = 0;   // FILE_SHARE_READ / FILE_SHARE_WRITE as opened
  DWORD flags = 0;   // CreateFileW flags and attributes
  dev_t dev = 0;     // identity of the open file, for share modes
  ino_t ino = 0;
  void* extra = nullptr;  // per-kind data owned by the family that made it
};

// Called by CloseHandle for a kind, to release `extra` and anything else the
// family keeps; the table itself closes fd.
using HandleCloser = void (*)(HandleEntry& entry);
void setHandleCloser(HandleKind kind, HandleCloser closer);

// Adds an entry; INVALID_HANDLE_VALUE with ERROR_TOO_MANY_OPEN_FILES when full.
HANDLE addHandle(const HandleEntry& entry);
// Copies the entry of a live handle of that kind (any kind for Free); false
// with ERROR_INVALID_HANDLE for anything else.
bool lookupHandle(HANDLE handle, HandleKind kind, HandleEntry* entry);
bool lookupHandleAnyKind(HANDLE handle, HandleEntry* entry);
// Replaces the per-kind data of a live handle.
bool updateHandleExtra(HANDLE handle, void* extra);
// Replaces the descriptor of a live handle (a serial line opened again);
// the old one is the caller's to have closed.
bool updateHandleFd(HANDLE handle, int fd);

// Whether a new open of (dev, ino) with this access and share mode conflicts
// with a handle already open in the process. Call with the table locked
// through ShareCheck so that the check and the add are one step.
class ShareCheck {
 public:
  ShareCheck();
  ~ShareCheck();
  ShareCheck(const ShareCheck&) = delete;
  ShareCheck& operator=(const ShareCheck&) = delete;
  bool conflicts(dev_t dev, ino_t ino, DWORD access, DWORD share) const;
  bool anyOpen(dev_t dev, ino_t ino) const;
  HANDLE add(const HandleEntry& entry);
};

BOOL closeHandleEntry(HANDLE handle);

// The CE call: closes a handle of any kind.
BOOL CloseHandle(HANDLE object);
