// Resources: GetModuleHandleW, LoadStringW, LoadAcceleratorsW,
// TranslateAcceleratorW. (LoadImageW is the painting layer's.)
//
// The resources are the tables of res/, linked into the executable as a
// resource compiler would embed them; there is one module, the executable, so
// every instance handle names it. Accelerators match a WM_KEYDOWN whose virtual key and
// Ctrl / Shift / Alt state (as of the key messages the thread has retrieved)
// are exactly an entry's, and send WM_COMMAND with the entry's command and 1
// in the high word, as the desktop systems do.
//
// Not supported: resources by name, other modules, character (non-FVIRTKEY)
// accelerators, cursors and icons.
#include "platform/resources.h"

#include <cstring>

#include "platform/files.h"
#include "platform/window_core.h"
#include "res/resource_tables.h"

using namespace wincore;

namespace {

HMODULE const kModule = reinterpret_cast<HMODULE>(0x00010000);
constexpr uintptr_t kAccelBase = 0x00A0C000;
constexpr DWORD kErrorResourceNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorInvalidAccelHandle = 1403;

const AcceleratorResource* acceleratorsOf(HACCEL handle) {
  uintptr_t v = reinterpret_cast<uintptr_t>(handle);
  if (v < kAccelBase || v >= kAccelBase + kAcceleratorTableCount) return nullptr;
  return &kAcceleratorTables[v - kAccelBase];
}

}  // namespace

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  if (moduleName == nullptr) return kModule;
  SetLastError(kErrorModNotFound);
  return nullptr;
}

int LoadStringW(HINSTANCE, UINT id, LPWSTR buffer, int bufferMax) {
  if (!buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  for (size_t i = 0; i < kStringTableCount; ++i) {
    if (kStringTable[i].id != id) continue;
    const char16_t* text = kStringTable[i].text;
    int length = 0;
    while (text[length]) ++length;
    if (bufferMax == 0) {
      // The read-only text itself, as the desktop systems hand it out.
      std::memcpy(buffer, &text, sizeof text);
      return length;
    }
    if (bufferMax < 0) break;
    int n = length < bufferMax - 1 ? length : bufferMax - 1;
    for (int k = 0; k < n; ++k) buffer[k] = text[k];
    buffer[n] = 0;
    return n;
  }
  if (bufferMax > 0) buffer[0] = 0;
  SetLastError(kErrorResourceNotFound);
  return 0;
}

HACCEL LoadAcceleratorsW(HINSTANCE, LPCWSTR tableName) {
  uintptr_t id = reinterpret_cast<uintptr_t>(tableName);
  if (id >= 0x10000) {  // by name: the tables have numbers only
    SetLastError(kErrorResourceNotFound);
    return nullptr;
  }
  for (size_t i = 0; i < kAcceleratorTableCount; ++i) {
    if (kAcceleratorTables[i].id == id) return reinterpret_cast<HACCEL>(kAccelBase + i);
  }
  SetLastError(kErrorResourceNotFound);
  return nullptr;
}

int TranslateAcceleratorW(HWND window, HACCEL accelerators, LPMSG msg) {
  const AcceleratorResource* table = acceleratorsOf(accelerators);
  if (!table) {
    SetLastError(kErrorInvalidAccelHandle);
    return 0;
  }
  if (!msg || !window || msg->message != WM_KEYDOWN) return 0;
  bool ctrl, shift, alt;
  {
    Core& c = core();
    std::lock_guard<std::mutex> lock(c.lock);
    std::shared_ptr<ThreadQueue> q = currentQueueLocked(c);
    ctrl = q->controlDown;
    shift = q->shiftDown;
    alt = q->altDown;
  }
  for (size_t i = 0; i < table->count; ++i) {
    const AcceleratorEntry& e = table->entries[i];
    if (!(e.fVirt & FVIRTKEY) || e.key != msg->wParam) continue;
    if (((e.fVirt & FCONTROL) != 0) != ctrl || ((e.fVirt & FSHIFT) != 0) != shift ||
        ((e.fVirt & FALT) != 0) != alt) {
      continue;
    }
    SendMessageW(window, WM_COMMAND, static_cast<WPARAM>(e.cmd) | (WPARAM{1} << 16), 0);
    return 1;
  }
  return 0;
}
