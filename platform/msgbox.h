// Message boxes: MessageBoxW.
#pragma once

#include "platform/ce_types.h"

constexpr UINT MB_OK = 0x00000000u;
constexpr UINT MB_ICONERROR = 0x00000010u;
constexpr UINT MB_ICONINFORMATION = 0x00000040u;
constexpr int IDOK = 1;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
