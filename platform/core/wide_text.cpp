// UTF-16 string helpers and wsprintfW for the program's code, ASCII case
// folding, and the UTF-8 conversions between the program's text and the
// host's.
#include "platform/core/wide_text.h"

#include <cstdarg>
#include <cstring>

size_t wcslen16(LPCWSTR text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

int wcscmp16(LPCWSTR a, LPCWSTR b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return static_cast<int>(*a) - static_cast<int>(*b);
}

LPWSTR wcsncpy16(LPWSTR dest, LPCWSTR src, size_t size) {
  if (size == 0) return dest;
  size_t i = 0;
  for (; i + 1 < size && src[i] != 0; ++i) dest[i] = src[i];
  dest[i] = 0;
  return dest;
}

LPCWSTR wcsstr16(LPCWSTR haystack, LPCWSTR needle) {
  if (*needle == 0) return haystack;
  for (; *haystack != 0; ++haystack) {
    size_t i = 0;
    while (needle[i] != 0 && haystack[i] == needle[i]) ++i;
    if (needle[i] == 0) return haystack;
  }
  return nullptr;
}

namespace {

template <typename Text>
bool sameFolded(Text a, Text b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (foldAsciiCase(a[i]) != foldAsciiCase(b[i])) return false;
  return true;
}

}  // namespace

bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) { return sameFolded(a, b); }
bool sameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) { return sameFolded(a, b); }

namespace {

constexpr size_t kWsprintfMax = 1024;

struct Out {
  LPWSTR buf;
  size_t n = 0;
  void put(char16_t c) {
    if (n + 1 < kWsprintfMax) buf[n++] = c;
  }
};

void putPadded(Out& out, const std::u16string& body, int width, bool left, bool zero) {
  int pad = width - static_cast<int>(body.size());
  if (!left && pad > 0) {
    size_t start = 0;
    if (zero && !body.empty() && body[0] == u'-') {
      out.put(u'-');
      start = 1;
    }
    for (int i = 0; i < pad; ++i) out.put(zero ? u'0' : u' ');
    for (size_t i = start; i < body.size(); ++i) out.put(body[i]);
    return;
  }
  for (char16_t c : body) out.put(c);
  for (int i = 0; i < pad; ++i) out.put(u' ');
}

std::u16string ascii16(const char* s) {
  std::u16string r;
  for (; *s; ++s) r.push_back(static_cast<unsigned char>(*s));
  return r;
}

}  // namespace

int wsprintfW(LPWSTR outBuf, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  Out out{outBuf};
  for (LPCWSTR p = format; *p != 0; ++p) {
    if (*p != u'%') {
      out.put(*p);
      continue;
    }
    ++p;
    if (*p == 0) break;
    if (*p == u'%') {
      out.put(u'%');
      continue;
    }
    bool left = false, zero = false;
    for (;; ++p) {
      if (*p == u'-') left = true;
      else if (*p == u'0') zero = true;
      else break;
    }
    int width = 0;
    while (*p >= u'0' && *p <= u'9') width = width * 10 + (*p++ - u'0');
    bool narrow = false;
    if (*p == u'h') {
      narrow = true;
      ++p;
    } else if (*p == u'l') {
      ++p;
    }
    char tmp[32];
    switch (*p) {
      case u'd':
      case u'i':
        snprintf(tmp, sizeof tmp, "%d", va_arg(args, int));
        putPadded(out, ascii16(tmp), width, left, zero);
        break;
      case u'u':
        snprintf(tmp, sizeof tmp, "%u", va_arg(args, unsigned));
        putPadded(out, ascii16(tmp), width, left, zero);
        break;
      case u'x':
        snprintf(tmp, sizeof tmp, "%x", va_arg(args, unsigned));
        putPadded(out, ascii16(tmp), width, left, zero);
        break;
      case u'X':
        snprintf(tmp, sizeof tmp, "%X", va_arg(args, unsigned));
        putPadded(out, ascii16(tmp), width, left, zero);
        break;
      case u'c':
        putPadded(out, std::u16string(1, static_cast<char16_t>(va_arg(args, int))), width, left, false);
        break;
      case u's':
        if (narrow) {
          const char* s = va_arg(args, const char*);
          putPadded(out, ascii16(s ? s : "(null)"), width, left, false);
        } else {
          LPCWSTR s = va_arg(args, LPCWSTR);
          putPadded(out, s ? std::u16string(s) : std::u16string(u"(null)"), width, left, false);
        }
        break;
      default:
        out.put(u'%');
        out.put(*p);
        break;
    }
    if (*p == 0) break;
  }
  va_end(args);
  outBuf[out.n] = 0;
  return static_cast<int>(out.n);
}

std::string utf8FromUtf16(std::u16string_view text) {
  std::string r;
  r.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      r.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      r.push_back(static_cast<char>(0xC0 | (c >> 6)));
      r.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      r.push_back(static_cast<char>(0xE0 | (c >> 12)));
      r.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      r.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      r.push_back(static_cast<char>(0xF0 | (c >> 18)));
      r.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      r.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      r.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return r;
}

std::string utf8FromUtf16(LPCWSTR text) {
  return text ? utf8FromUtf16(std::u16string_view(text, wcslen16(text))) : std::string();
}

std::u16string utf16FromUtf8(std::string_view text) {
  std::u16string r;
  r.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    uint32_t c;
    size_t len;
    if (b < 0x80) {
      c = b;
      len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      c = b & 0x1F;
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      c = b & 0x0F;
      len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      c = b & 0x07;
      len = 4;
    } else {
      r.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (i + len > text.size()) {
      r.push_back(0xFFFD);
      break;
    }
    bool ok = true;
    for (size_t k = 1; k < len; ++k) {
      unsigned char cb = static_cast<unsigned char>(text[i + k]);
      if ((cb & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (cb & 0x3F);
    }
    if (!ok) {
      r.push_back(0xFFFD);
      ++i;
      continue;
    }
    i += len;
    if (c >= 0x10000) {
      c -= 0x10000;
      r.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      r.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      r.push_back(static_cast<char16_t>(c));
    }
  }
  return r;
}
