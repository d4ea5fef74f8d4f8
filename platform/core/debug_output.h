// Diagnostics: OutputDebugStringW, and FormatMessageW for the text of a
// system error code. There is no debugger on a host: the debug output is
// standard error, one line per call, after the program's name.
#pragma once

#include "platform/core/ce_types.h"

constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;

// Writes the text as one line on standard error (a line end of its own, if
// it has one, is not doubled).
void OutputDebugStringW(LPCWSTR text);

// FORMAT_MESSAGE_FROM_SYSTEM only (inserts are never expanded; source,
// language and arguments are ignored): the text of `messageId` into
// `buffer`, cut to fit `size` characters with its NUL. When the code is the
// one the thread's latest failed host call left, the text says that call,
// what it was given and the host's reason ("open /x/Com1: No such file or
// directory"), else what the code means. Returns the characters written
// without the NUL; 0 with ERROR_INVALID_PARAMETER for other flags or no
// buffer.
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                     LPWSTR buffer, DWORD size, void* arguments);
