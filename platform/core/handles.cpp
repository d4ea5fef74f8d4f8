// The process-wide handle table. One mutex guards it; it is small and fixed,
// as the device's per-process handle space is.
#include "platform/core/handles.h"

#include <mutex>

#include "platform/core/host_calls.h"
#include "platform/core/errors.h"

namespace {

constexpr size_t kMaxHandles = 1024;

std::recursive_mutex gMutex;
HandleEntry gTable[kMaxHandles];
HandleCloser gClosers[8] = {};

// Handle values are (index + 1) * 4: never 0, never INVALID_HANDLE_VALUE.
HANDLE toHandle(size_t index) { return reinterpret_cast<HANDLE>((index + 1) * 4); }

bool toIndex(HANDLE h, size_t* index) {
  uintptr_t v = reinterpret_cast<uintptr_t>(h);
  if (v == 0 || v % 4 != 0 || v / 4 > kMaxHandles) return false;
  *index = v / 4 - 1;
  return true;
}

HANDLE addLocked(const HandleEntry& entry) {
  for (size_t i = 0; i < kMaxHandles; ++i) {
    if (gTable[i].kind == HandleKind::Free) {
      gTable[i] = entry;
      return toHandle(i);
    }
  }
  SetLastError(ERROR_TOO_MANY_OPEN_FILES);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

void setHandleCloser(HandleKind kind, HandleCloser closer) {
  std::lock_guard<std::recursive_mutex> lock(gMutex);
  gClosers[static_cast<size_t>(kind)] = closer;
}

HANDLE addHandle(const HandleEntry& entry) {
  std::lock_guard<std::recursive_mutex> lock(gMutex);
  return addLocked(entry);
}

bool lookupHandle(HANDLE handle, HandleKind kind, HandleEntry* entry) {
  std::lock_guard<std::recursive_mutex> lock(gMutex);
  size_t i;
  if (!toIndex(handle, &i) || gTable[i].kind == HandleKind::Free ||
      (kind != HandleKind::Free && gTable[i].kind != kind)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  *entry = gTable[i];
  return true;
}

bool lookupHandleAnyKind(HANDLE handle, HandleEntry* entry) {
  return lookupHandle(handle, HandleKind::Free, entry);
}

bool updateHandleExtra(HANDLE handle, void* extra) {
  std::lock_guard<std::recursive_mutex> lock(gMutex);
  size_t i;
  if (!toIndex(handle, &i) || gTable[i].kind == HandleKind::Free) return false;
  gTable[i].extra = extra;
  return true;
}

bool updateHandleFd(HANDLE handle, int fd) {
  std::lock_guard<std::recursive_mutex> lock(gMutex);
  size_t i;
  if (!toIndex(handle, &i) || gTable[i].kind == HandleKind::Free) return false;
  gTable[i].fd = fd;
  return true;
}

ShareCheck::ShareCheck() { gMutex.lock(); }
ShareCheck::~ShareCheck() { gMutex.unlock(); }

bool ShareCheck::conflicts(dev_t dev, ino_t ino, DWORD access, DWORD share) const {
  for (const HandleEntry& e : gTable) {
    if (e.kind != HandleKind::File || e.dev != dev || e.ino != ino) continue;
    // As on CE: a query-only open (no access) never conflicts.
    if ((access & GENERIC_READ) && !(e.share & FILE_SHARE_READ)) return true;
    if ((access & GENERIC_WRITE) && !(e.share & FILE_SHARE_WRITE)) return true;
    if ((e.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
    if ((e.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
  }
  return false;
}

bool ShareCheck::anyOpen(dev_t dev, ino_t ino) const {
  for (const HandleEntry& e : gTable)
    if (e.kind == HandleKind::File && e.dev == dev && e.ino == ino) return true;
  return false;
}

HANDLE ShareCheck::add(const HandleEntry& entry) { return addLocked(entry); }

BOOL closeHandleEntry(HANDLE handle) {
  HandleEntry entry;
  HandleCloser closer = nullptr;
  {
    std::lock_guard<std::recursive_mutex> lock(gMutex);
    size_t i;
    if (!toIndex(handle, &i) || gTable[i].kind == HandleKind::Free) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    entry = gTable[i];
    gTable[i] = HandleEntry{};
    closer = gClosers[static_cast<size_t>(entry.kind)];
  }
  if (closer) closer(entry);
  if (entry.fd >= 0) hostCalls().close(entry.fd);
  return TRUE;
}

BOOL CloseHandle(HANDLE object) { return closeHandleEntry(object); }
