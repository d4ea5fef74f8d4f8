// Memory: LocalAlloc, LocalFree. Backed by the host's malloc through the
// host-call table, so a test can make an allocation fail. Not supported:
// movable blocks (LMEM_MOVEABLE), LocalReAlloc, LocalSize, heaps.
#include "platform/core/memory.h"

#include <cstdlib>
#include <cstring>

#include "platform/core/errors.h"
#include "platform/core/host_calls.h"

HLOCAL LocalAlloc(UINT flags, size_t bytes) {
  if (flags & ~LMEM_ZEROINIT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* block = hostCalls().malloc(bytes ? bytes : 1);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (flags & LMEM_ZEROINIT) memset(block, 0, bytes);
  return block;
}

HLOCAL LocalFree(HLOCAL block) {
  hostCalls().free(block);
  return nullptr;
}
