// Registry: RegOpenKeyExW, RegSetValueExW, RegQueryValueExW, RegDeleteValueW,
// RegCloseKey.
#pragma once

#include "platform/core/ce_types.h"

inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000002u));
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0x80000001u));
constexpr DWORD KEY_ALL_ACCESS = 0xF003F;
constexpr DWORD KEY_READ = 0x20019;
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, DWORD desired, HKEY* result);
LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD dataBytes);
LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, BYTE* data,
                      LPDWORD dataBytes);
LONG RegDeleteValueW(HKEY key, LPCWSTR valueName);
LONG RegCloseKey(HKEY key);
// Enumerates the values of a key in their stored order: index 0, 1, ... until
// ERROR_NO_MORE_ITEMS. nameChars is in characters (with the NUL) on the way in
// and the name's length on the way out.
LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD nameChars, LPDWORD reserved,
                   LPDWORD type, BYTE* data, LPDWORD dataBytes);
