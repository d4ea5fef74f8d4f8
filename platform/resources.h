// Resources of the executable and the module: GetModuleHandleW,
// GetModuleFileNameW, LoadStringW, LoadAcceleratorsW, TranslateAcceleratorW,
// LoadImageW.
#pragma once

#include "platform/ce_types.h"
#include "platform/windows.h"

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

HMODULE GetModuleHandleW(LPCWSTR moduleName);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
HACCEL LoadAcceleratorsW(HINSTANCE instance, LPCWSTR tableName);
int TranslateAcceleratorW(HWND window, HACCEL accelerators, LPMSG msg);
HGDIOBJ LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT load);
