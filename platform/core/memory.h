// Memory: LocalAlloc, LocalFree (fixed blocks only).
#pragma once

#include <cstddef>

#include "platform/core/ce_types.h"

using HLOCAL = void*;
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

// A fixed block of `bytes`, zeroed with LMEM_ZEROINIT; null with
// ERROR_NOT_ENOUGH_MEMORY when there is no memory left.
HLOCAL LocalAlloc(UINT flags, size_t bytes);
// Null on success, as on the device.
HLOCAL LocalFree(HLOCAL block);
