// The few UTF-16 string helpers the program needs (CE's wcs* and wsprintfW),
// ASCII case folding for the names the object store, the registry and the
// host compare, and the UTF-8 conversions the host side needs.
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

// Only A-Z fold (to a-z): CE's names ignore the case of ASCII letters, and
// this layer does not fold any other letter, whether as UTF-16 or as UTF-8.
constexpr char foldAsciiCase(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
constexpr char16_t foldAsciiCase(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
bool sameIgnoringAsciiCase(std::string_view a, std::string_view b);
bool sameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

std::string utf8FromUtf16(std::u16string_view text);
std::string utf8FromUtf16(LPCWSTR text);
std::u16string utf16FromUtf8(std::string_view text);
