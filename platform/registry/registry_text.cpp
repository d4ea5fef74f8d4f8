// The .reg text of the registry; see registry_text.h.
#include "platform/registry/registry_text.h"

#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/core/byte_order.h"
#include "platform/core/wide_text.h"

namespace {

constexpr size_t kMaxValueBytes = 64 * 1024;

const char* const kRoots[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT",
                              "HKEY_USERS"};


// ---- The .reg text ----------------------------------------------------------

struct Parser {
  std::string_view text;
  size_t pos = 0;
  int line = 0;
  std::string error;

  bool fail(const std::string& what) {
    error = "line " + std::to_string(line) + ": " + what;
    return false;
  }
};

// The next logical line: physical lines joined where one ends in a backslash
// (the .reg continuation of long hex data).
bool nextLine(Parser& p, std::string* out) {
  out->clear();
  if (p.pos >= p.text.size()) return false;
  for (;;) {
    ++p.line;
    size_t end = p.text.find('\n', p.pos);
    if (end == std::string_view::npos) end = p.text.size();
    std::string_view l = p.text.substr(p.pos, end - p.pos);
    p.pos = end < p.text.size() ? end + 1 : end;
    while (!l.empty() && (l.back() == '\r' || l.back() == ' ' || l.back() == '\t'))
      l.remove_suffix(1);
    if (!out->empty())
      while (!l.empty() && (l.front() == ' ' || l.front() == '\t')) l.remove_prefix(1);
    // Long hex data goes on over lines that end in ",\".
    bool continued = l.size() >= 2 && l.back() == '\\' && l[l.size() - 2] == ',';
    if (continued) {
      l.remove_suffix(1);
      out->append(l);
      if (p.pos >= p.text.size()) return true;
      continue;
    }
    out->append(l);
    return true;
  }
}

// A quoted .reg string starting at s[i] == '"'; i ends after the closing quote.
bool parseQuoted(Parser& p, const std::string& s, size_t* i, std::string* out) {
  out->clear();
  size_t k = *i + 1;
  while (k < s.size()) {
    char c = s[k];
    if (c == '"') {
      *i = k + 1;
      return true;
    }
    if (c == '\\') {
      if (k + 1 >= s.size() || (s[k + 1] != '\\' && s[k + 1] != '"'))
        return p.fail("a backslash in a string must be written \\\\");
      out->push_back(s[k + 1]);
      k += 2;
      continue;
    }
    if (static_cast<unsigned char>(c) < 0x20) return p.fail("a control character in a string");
    out->push_back(c);
    ++k;
  }
  return p.fail("a string without its closing quote");
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<BYTE> utf16Bytes(std::u16string_view units) {
  std::vector<BYTE> b;
  b.reserve((units.size() + 1) * 2);
  for (char16_t u : units) {
    b.resize(b.size() + 2);
    writeLe16(b.data() + b.size() - 2, u);
  }
  b.push_back(0);
  b.push_back(0);
  return b;
}

bool parseValueData(Parser& p, const std::string& s, size_t i, RegValue* v) {
  std::string_view rest(s);
  rest.remove_prefix(i);
  if (!rest.empty() && rest[0] == '"') {
    std::string text;
    size_t k = i;
    if (!parseQuoted(p, s, &k, &text)) return false;
    if (k != s.size()) return p.fail("text after a string value");
    v->type = REG_SZ;
    v->data = utf16Bytes(utf16FromUtf8(text));
    return true;
  }
  if (rest.substr(0, 6) == "dword:") {
    std::string_view digits = rest.substr(6);
    if (digits.empty() || digits.size() > 8) return p.fail("a dword needs 1 to 8 hex digits");
    DWORD value = 0;
    for (char c : digits) {
      int d = hexDigit(c);
      if (d < 0) return p.fail("a dword needs 1 to 8 hex digits");
      value = (value << 4) | static_cast<DWORD>(d);
    }
    v->type = REG_DWORD;
    v->data.resize(4);
    writeLe32(v->data.data(), value);
    return true;
  }
  if (rest.substr(0, 3) == "hex") {
    size_t k = 3;
    DWORD type = REG_BINARY;
    if (k < rest.size() && rest[k] == '(') {
      size_t close = rest.find(')', k);
      if (close == std::string_view::npos || close == k + 1 || close > k + 9)
        return p.fail("a hex(N) type needs 1 to 8 hex digits");
      type = 0;
      for (size_t j = k + 1; j < close; ++j) {
        int d = hexDigit(rest[j]);
        if (d < 0) return p.fail("a hex(N) type needs 1 to 8 hex digits");
        type = (type << 4) | static_cast<DWORD>(d);
      }
      k = close + 1;
    }
    if (k >= rest.size() || rest[k] != ':') return p.fail("hex data needs a ':'");
    ++k;
    v->type = type;
    v->data.clear();
    while (k < rest.size()) {
      while (k < rest.size() && (rest[k] == ' ' || rest[k] == '\t')) ++k;
      if (k >= rest.size()) break;
      if (k + 2 > rest.size()) return p.fail("hex data needs two digits a byte");
      int hi = hexDigit(rest[k]), lo = hexDigit(rest[k + 1]);
      if (hi < 0 || lo < 0) return p.fail("hex data needs two digits a byte");
      if (v->data.size() >= kMaxValueBytes) return p.fail("a value over 64 KiB");
      v->data.push_back(static_cast<BYTE>(hi * 16 + lo));
      k += 2;
      while (k < rest.size() && (rest[k] == ' ' || rest[k] == '\t')) ++k;
      if (k < rest.size()) {
        if (rest[k] != ',') return p.fail("hex bytes are separated by commas");
        ++k;
      }
    }
    return true;
  }
  return p.fail("a value must be a string, dword: or hex:");
}

}  // namespace

// A key path "ROOT\a\b": a known root, then non-empty names.
bool canonicalKeyPath(std::string_view path, std::string* out) {
  size_t slash = path.find('\\');
  std::string_view root = path.substr(0, slash);
  const char* known = nullptr;
  for (const char* r : kRoots)
    if (sameIgnoringAsciiCase(root, r)) known = r;
  if (!known) return false;
  *out = known;
  if (slash == std::string_view::npos) return true;
  std::string_view rest = path.substr(slash + 1);
  for (;;) {
    size_t next = rest.find('\\');
    std::string_view name = rest.substr(0, next);
    if (name.empty()) return false;
    for (char c : name)
      if (static_cast<unsigned char>(c) < 0x20 || c == '[' || c == ']') return false;
    *out += '\\';
    out->append(name);
    if (next == std::string_view::npos) return true;
    rest = rest.substr(next + 1);
  }
}

RegKey* findKey(Registry& r, std::string_view path) {
  for (RegKey& k : r.keys)
    if (sameIgnoringAsciiCase(k.path, path)) return &k;
  return nullptr;
}

RegValue* findValue(RegKey& k, std::string_view name) {
  for (RegValue& v : k.values)
    if (sameIgnoringAsciiCase(v.name, name)) return &v;
  return nullptr;
}

bool parseRegistry(std::string_view text, Registry* out, std::string* error) {
  Parser p;
  p.text = text;
  if (p.text.substr(0, 3) == "\xEF\xBB\xBF") p.pos = 3;
  out->keys.clear();
  RegKey* current = nullptr;
  // Each key's values by their folded names, so that a file of n values
  // parses in time linear in n: --boot lists a key of thousands.
  std::vector<std::unordered_map<std::string, size_t>> valueIndex;
  std::unordered_map<std::string, size_t>* currentIndex = nullptr;
  std::string l;
  bool first = true;
  while (nextLine(p, &l)) {
    size_t i = 0;
    while (i < l.size() && (l[i] == ' ' || l[i] == '\t')) ++i;
    std::string_view s = std::string_view(l).substr(i);
    bool wasFirst = first;
    first = false;
    if (s.empty() || s[0] == ';') continue;
    if (wasFirst && (s == "REGEDIT4" || s == "Windows Registry Editor Version 5.00")) continue;
    if (s[0] == '[') {
      if (s.back() != ']') {
        *error = "line " + std::to_string(p.line) + ": a key line must end with ']'";
        return false;
      }
      std::string path;
      if (!canonicalKeyPath(s.substr(1, s.size() - 2), &path)) {
        *error = "line " + std::to_string(p.line) + ": not a key path: " + std::string(s);
        return false;
      }
      current = findKey(*out, path);
      if (!current) {
        out->keys.push_back(RegKey{path, {}});
        valueIndex.emplace_back();
        current = &out->keys.back();
      }
      currentIndex = &valueIndex[static_cast<size_t>(current - out->keys.data())];
      continue;
    }
    if (!current) {
      *error = "line " + std::to_string(p.line) + ": a value before the first [key]";
      return false;
    }
    std::string body(s);
    RegValue v;
    size_t k = 0;
    if (body[0] == '@') {
      k = 1;
    } else if (body[0] == '"') {
      if (!parseQuoted(p, body, &k, &v.name)) {
        *error = p.error;
        return false;
      }
    } else {
      *error = "line " + std::to_string(p.line) + ": neither a [key] nor a \"value\"=";
      return false;
    }
    while (k < body.size() && (body[k] == ' ' || body[k] == '\t')) ++k;
    if (k >= body.size() || body[k] != '=') {
      *error = "line " + std::to_string(p.line) + ": a value name must be followed by '='";
      return false;
    }
    ++k;
    while (k < body.size() && (body[k] == ' ' || body[k] == '\t')) ++k;
    if (!parseValueData(p, body, k, &v)) {
      *error = p.error;
      return false;
    }
    std::string folded = v.name;
    for (char& c : folded) c = foldAsciiCase(c);
    auto [at, added] = currentIndex->emplace(std::move(folded), current->values.size());
    if (added)
      current->values.push_back(std::move(v));
    else
      current->values[at->second] = std::move(v);
  }
  return true;
}

namespace {

void appendQuoted(std::string* out, std::string_view text) {
  out->push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') out->push_back('\\');
    out->push_back(c);
  }
  out->push_back('"');
}

// The string a REG_SZ value holds when it reads back to exactly the same
// bytes from "..." form: whole UTF-16 units, one NUL at the end, no control
// characters and no lone surrogates.
bool stringForm(const std::vector<BYTE>& data, std::string* out) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  std::u16string units;
  for (size_t i = 0; i + 1 < data.size(); i += 2)
    units.push_back(static_cast<char16_t>(readLe16(&data[i])));
  if (units.back() != 0) return false;
  units.pop_back();
  for (size_t i = 0; i < units.size(); ++i) {
    char16_t u = units[i];
    if (u < 0x20) return false;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 1 >= units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (u >= 0xDC00 && u <= 0xDFFF) {
      return false;
    }
  }
  *out = utf8FromUtf16(units);
  return true;
}

}  // namespace

std::string formatRegistry(const Registry& r) {
  std::string out =
      "; The device's registry, in the .reg format CE images are built from (UTF-8).\n";
  char buf[16];
  for (const RegKey& k : r.keys) {
    out += "\n[" + k.path + "]\n";
    for (const RegValue& v : k.values) {
      if (v.name.empty())
        out += "@";
      else
        appendQuoted(&out, v.name);
      out += "=";
      std::string text;
      if (v.type == REG_SZ && stringForm(v.data, &text)) {
        appendQuoted(&out, text);
      } else if (v.type == REG_DWORD && v.data.size() == 4) {
        snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(readLe32(v.data.data())));
        out += buf;
      } else {
        if (v.type == REG_BINARY) {
          out += "hex:";
        } else {
          snprintf(buf, sizeof buf, "hex(%x):", v.type);
          out += buf;
        }
        for (size_t i = 0; i < v.data.size(); ++i) {
          snprintf(buf, sizeof buf, "%02x", v.data[i]);
          out += buf;
          if (i + 1 < v.data.size()) out += (i % 24 == 23) ? ",\\\n  " : ",";
        }
      }
      out += "\n";
    }
  }
  return out;
}

