// Message boxes: MessageBoxW.
#pragma once

#include <string>

#include "platform/core/ce_types.h"

constexpr UINT MB_OK = 0x00000000u;
constexpr UINT MB_ICONERROR = 0x00000010u;
constexpr UINT MB_ICONINFORMATION = 0x00000040u;
constexpr int IDOK = 1;

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// ---- Host side: where the boxes go ---------------------------------------------
// MessageBoxW hands every box to the backend. The default, headless one writes
// `msgbox<TAB>title<TAB>text` to standard output and returns IDOK.
using MessageBoxBackend = int (*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// Null restores the headless backend. Returns the backend it replaced.
MessageBoxBackend setMessageBoxBackend(MessageBoxBackend backend);
// The headless form, for backends that print the line and then do more.
int headlessMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// The line the headless form prints, without its line end: the text with
// each line break written as the two characters \n, in UTF-8.
std::string messageBoxLine(LPCWSTR text, LPCWSTR caption);
