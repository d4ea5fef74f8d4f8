// Resources: GetModuleHandleW, LoadStringW, LoadAcceleratorsW,
// TranslateAcceleratorW, LoadImageW (bitmaps, decoded by the GDI family).
//
// The resources are the tables the program hands over with
// setModuleResources, as a resource compiler would have embedded them; there
// is one module, the executable, so every instance handle names it. Accelerators match a WM_KEYDOWN whose virtual key and
// Ctrl / Shift / Alt state (as of the key messages the thread has retrieved)
// are exactly an entry's, and send WM_COMMAND with the entry's command and 1
// in the high word, as the desktop systems do.
//
// Not supported: resources by name, other modules, character (non-FVIRTKEY)
// accelerators, cursors and icons.
#include "platform/user/resources.h"

#include <atomic>
#include <cstring>

#include "platform/gdi/bitmap_files.h"
#include "platform/kernel/files.h"
#include "platform/user/window_core.h"
#include "platform/user/message_queue.h"
#include "platform/core/errors.h"

using namespace wincore;

namespace {

HMODULE const kModule = reinterpret_cast<HMODULE>(0x00010000);
constexpr uintptr_t kAccelBase = 0x00A0C000;
constexpr DWORD kErrorResourceNotFound = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
constexpr DWORD kErrorModNotFound = 126;
constexpr DWORD kErrorInvalidAccelHandle = 1403;

std::atomic<const ModuleResources*> tables{nullptr};

const AcceleratorTable* acceleratorsOf(HACCEL handle) {
  const ModuleResources* r = tables.load();
  uintptr_t v = reinterpret_cast<uintptr_t>(handle);
  if (!r || v < kAccelBase || v >= kAccelBase + r->acceleratorCount) return nullptr;
  return &r->accelerators[v - kAccelBase];
}

}  // namespace

void setModuleResources(const ModuleResources* resources) { tables.store(resources); }
const ModuleResources* moduleResources() { return tables.load(); }

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
  const ModuleResources* r = tables.load();
  for (size_t i = 0; r && i < r->stringCount; ++i) {
    if (r->strings[i].id != id) continue;
    const char16_t* text = r->strings[i].text;
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
  const ModuleResources* r = tables.load();
  for (size_t i = 0; r && i < r->acceleratorCount; ++i) {
    if (r->accelerators[i].id == id) return reinterpret_cast<HACCEL>(kAccelBase + i);
  }
  SetLastError(kErrorResourceNotFound);
  return nullptr;
}

int TranslateAcceleratorW(HWND window, HACCEL accelerators, LPMSG msg) {
  const AcceleratorTable* table = acceleratorsOf(accelerators);
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
    const ACCEL& e = table->entries[i];
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

HGDIOBJ LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT load) {
  (void)instance;  // the program has one module: its own
  const uintptr_t id = reinterpret_cast<uintptr_t>(name);
  if (type != IMAGE_BITMAP || id > 0xFFFF || cx != 0 || cy != 0 || load != 0) return nullptr;
  const ModuleResources* r = tables.load();
  for (size_t i = 0; r && i < r->bitmapCount; ++i) {
    if (r->bitmaps[i].id == id && r->bitmaps[i].bmpFile) {
      return createBitmapFromBmpFile(r->bitmaps[i].bmpFile, r->bitmaps[i].bmpFileBytes);
    }
  }
  return nullptr;
}
