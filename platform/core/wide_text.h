// The few UTF-16 string helpers the program needs (CE's wcs* and wsprintfW),
// and the UTF-8 conversions the host side needs.
#pragma once

#include <string>
#include <string_view>

#include "platform/core/ce_types.h"

size_t wcslen16(LPCWSTR text);
int wcscmp16(LPCWSTR a, LPCWSTR b);
// Copies at most size-1 units and always terminates; returns dest.
LPWSTR wcsncpy16(LPWSTR dest, LPCWSTR src, size_t size);
LPCWSTR wcsstr16(LPCWSTR haystack, LPCWSTR needle);

// wsprintfW as CE has it: %s takes a UTF-16 string, %hs an 8-bit one, %d %u %x
// %X %c %%, with flags '0' and '-' and a width. Output is cut at 1024 units,
// as on the device, and always terminated.
int wsprintfW(LPWSTR out, LPCWSTR format, ...);

std::string utf8FromUtf16(std::u16string_view text);
std::string utf8FromUtf16(LPCWSTR text);
std::u16string utf16FromUtf8(std::string_view text);
