// Resources of the executable: GetModuleHandleW, LoadStringW,
// LoadAcceleratorsW, TranslateAcceleratorW, LoadImageW. (The module's own
// path, GetModuleFileNameW, is the kernel family's: module_path.h.)
#pragma once

#include <cstddef>

#include "platform/core/ce_types.h"
#include "platform/user/message_queue.h"

constexpr UINT IMAGE_BITMAP = 0;
constexpr BYTE FVIRTKEY = 0x01;
constexpr BYTE FNOINVERT = 0x02;
constexpr BYTE FSHIFT = 0x04;
constexpr BYTE FCONTROL = 0x08;
constexpr BYTE FALT = 0x10;

struct ACCEL {
  BYTE fVirt;
  WORD key;
  WORD cmd;
};

inline LPCWSTR MAKEINTRESOURCEW(uintptr_t id) { return reinterpret_cast<LPCWSTR>(id); }

// ---- Host side: the module's resource tables ----------------------------------
// A resource compiler embeds these in the executable; here the program hands
// its tables to the layer at start (setModuleResources) and the Load* calls
// read them. Every table is found by its number.
struct StringResource {
  UINT id;
  LPCWSTR text;
};
struct AcceleratorTable {
  UINT id;
  const ACCEL* entries;
  size_t count;
};
// A bitmap resource: the bytes of a Windows BMP file (BITMAPFILEHEADER and
// all), as a resource compiler embeds it.
struct BitmapResource {
  UINT id;
  const BYTE* bmpFile;
  size_t bmpFileBytes;
};
struct ModuleResources {
  const StringResource* strings;
  size_t stringCount;
  const AcceleratorTable* accelerators;
  size_t acceleratorCount;
  const BitmapResource* bitmaps;
  size_t bitmapCount;
};
// The tables the module's resources are read from from now on; they are not
// copied and must outlive their use. Null leaves the module without resources.
void setModuleResources(const ModuleResources* resources);
// The tables handed over, or null.
const ModuleResources* moduleResources();

HMODULE GetModuleHandleW(LPCWSTR moduleName);
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
HACCEL LoadAcceleratorsW(HINSTANCE instance, LPCWSTR tableName);
int TranslateAcceleratorW(HWND window, HACCEL accelerators, LPMSG msg);
HGDIOBJ LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT load);
