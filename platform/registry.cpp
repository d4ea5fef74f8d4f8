// Registry: RegOpenKeyExW, RegSetValueExW, RegQueryValueExW, RegDeleteValueW,
// RegEnumValueW, RegCloseKey.
//
// Backed by DIR/registry.reg, a UTF-8 text file in the .reg format CE images
// are built from:
//
//   [HKEY_LOCAL_MACHINE\init]
//   "Launch500"="\\ResidentFlash\\vellumtrace\\vellumtrace.exe"
//
// Strings ("..." with \\ and \" escaped), dword:XXXXXXXX, hex:aa,bb and
// hex(N):aa,bb values; ';' comments. Every call reads the file afresh, so a
// change made by another process (an install run) is seen at once. Every
// change rewrites the whole file through a temporary file renamed into place,
// under an flock on the device root, so a crash never leaves a torn registry
// and two processes never interleave their writes. A device image without a
// registry file holds the key HKEY_LOCAL_MACHINE\init, as a new CE image does.
// A malformed file is reported once on standard error and read as an empty
// registry; it is never overwritten, so a person can still repair it.
// Not supported: creating or deleting keys, security, notifications.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device_image.h"
#include "platform/errors.h"
#include "platform/host_calls.h"
#include "platform/registry_file.h"
#include "platform/wide_text.h"

namespace {

constexpr size_t kMaxFileBytes = 1 << 20;
constexpr size_t kMaxValueBytes = 64 * 1024;
constexpr size_t kMaxOpenKeys = 64;
constexpr uintptr_t kKeyHandleBase = 0x10000;

struct RegValue {
  std::string name;  // UTF-8; empty for the key's default value (@)
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

struct RegKey {
  std::string path;  // e.g. HKEY_LOCAL_MACHINE\init
  std::vector<RegValue> values;
};

struct Registry {
  std::vector<RegKey> keys;
};

enum class LoadResult { Loaded, Missing, Malformed, Unreadable };

std::mutex gMutex;  // guards the open-key table and serialises this process's changes
std::string gOpenKeys[kMaxOpenKeys];
std::set<std::string> gReportedMalformed;

const char* const kRoots[] = {"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER", "HKEY_CLASSES_ROOT",
                              "HKEY_USERS"};

char foldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (foldAscii(a[i]) != foldAscii(b[i])) return false;
  return true;
}

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
    b.push_back(static_cast<BYTE>(u & 0xFF));
    b.push_back(static_cast<BYTE>(u >> 8));
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
    v->data = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
               static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
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

// A key path "ROOT\a\b": a known root, then non-empty names.
bool canonicalKeyPath(std::string_view path, std::string* out) {
  size_t slash = path.find('\\');
  std::string_view root = path.substr(0, slash);
  const char* known = nullptr;
  for (const char* r : kRoots)
    if (sameIgnoringCase(root, r)) known = r;
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
    if (sameIgnoringCase(k.path, path)) return &k;
  return nullptr;
}

RegValue* findValue(RegKey& k, std::string_view name) {
  for (RegValue& v : k.values)
    if (sameIgnoringCase(v.name, name)) return &v;
  return nullptr;
}

bool parseRegistry(std::string_view text, Registry* out, std::string* error) {
  Parser p;
  p.text = text;
  if (p.text.substr(0, 3) == "\xEF\xBB\xBF") p.pos = 3;
  out->keys.clear();
  RegKey* current = nullptr;
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
        current = &out->keys.back();
      }
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
    if (RegValue* old = findValue(*current, v.name))
      *old = std::move(v);
    else
      current->values.push_back(std::move(v));
  }
  return true;
}

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
    units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
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
        DWORD d = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<DWORD>(v.data[3]) << 24);
        snprintf(buf, sizeof buf, "dword:%08x", d);
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

// ---- The file -------------------------------------------------------------

Registry newImageRegistry() {
  Registry r;
  r.keys.push_back(RegKey{"HKEY_LOCAL_MACHINE\\init", {}});
  return r;
}

LoadResult loadRegistry(Registry* r, int* err) {
  std::string path = registryFilePath();
  int fd = hostCalls().open(path.c_str(), O_RDONLY, 0);
  if (fd < 0) {
    *err = errno;
    if (errno == ENOENT) {
      *r = newImageRegistry();
      return LoadResult::Missing;
    }
    return LoadResult::Unreadable;
  }
  std::string text;
  char buf[8192];
  for (;;) {
    ssize_t n = hostCalls().read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      hostCalls().close(fd);
      return LoadResult::Unreadable;
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (text.size() > kMaxFileBytes) break;
  }
  hostCalls().close(fd);
  std::string error;
  if (text.size() > kMaxFileBytes) error = "larger than 1 MiB";
  if (error.empty() && parseRegistry(text, r, &error)) return LoadResult::Loaded;
  r->keys.clear();
  if (gReportedMalformed.insert(path).second)
    fprintf(stderr, "vellumtrace: registry %s: %s; read as an empty registry\n", path.c_str(),
            error.c_str());
  *err = 0;
  return LoadResult::Malformed;
}

bool writeAll(int fd, const std::string& bytes, int* err) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t w = hostCalls().write(fd, bytes.data() + done, bytes.size() - done);
    if (w < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    if (w == 0) {
      *err = EIO;
      return false;
    }
    done += static_cast<size_t>(w);
  }
  return true;
}

// Writes the whole registry beside the file and renames it into place.
LONG saveRegistry(const Registry& r) {
  std::string path = registryFilePath();
  std::string tmp = path + ".tmp-" + std::to_string(getpid());
  std::string text = formatRegistry(r);
  int fd = hostCalls().open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return static_cast<LONG>(ceErrorFromErrno(errno));
  int err = 0;
  bool ok = writeAll(fd, text, &err);
  if (ok && hostCalls().fsync(fd) != 0) {
    err = errno;
    ok = false;
  }
  if (hostCalls().close(fd) != 0 && ok) {
    err = errno;
    ok = false;
  }
  if (ok && hostCalls().rename(tmp.c_str(), path.c_str()) != 0) {
    err = errno;
    ok = false;
  }
  if (!ok) {
    hostCalls().unlink(tmp.c_str());
    return static_cast<LONG>(ceErrorFromErrno(err));
  }
  int dir = hostCalls().open(deviceRoot().c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (dir >= 0) {
    hostCalls().fsync(dir);
    hostCalls().close(dir);
  }
  return ERROR_SUCCESS;
}

// Holds the device root's flock for one read-modify-write of the file.
class FileLock {
 public:
  FileLock() : fd_(hostCalls().open(deviceRoot().c_str(), O_RDONLY | O_DIRECTORY, 0)) {
    if (fd_ >= 0)
      while (hostCalls().flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~FileLock() {
    if (fd_ >= 0) hostCalls().close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

// ---- Key handles ----------------------------------------------------------

bool keyPathOf(HKEY key, std::string* path) {
  uintptr_t v = reinterpret_cast<uintptr_t>(key);
  if (v >= 0x80000000u && v <= 0x80000003u) {
    static const char* const order[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                        "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
    *path = order[v - 0x80000000u];
    return true;
  }
  if (v < kKeyHandleBase || v >= kKeyHandleBase + kMaxOpenKeys) return false;
  const std::string& p = gOpenKeys[v - kKeyHandleBase];
  if (p.empty()) return false;
  *path = p;
  return true;
}

bool keyExists(const Registry& r, const std::string& path) {
  if (path.find('\\') == std::string::npos) return true;  // a root
  for (const RegKey& k : r.keys) {
    if (sameIgnoringCase(k.path, path)) return true;
    if (k.path.size() > path.size() && k.path[path.size()] == '\\' &&
        sameIgnoringCase(std::string_view(k.path).substr(0, path.size()), path))
      return true;
  }
  return false;
}

std::string valueNameOf(LPCWSTR name) { return name ? utf8FromUtf16(name) : std::string(); }

LONG copyData(const RegValue& v, LPDWORD type, BYTE* data, LPDWORD dataBytes) {
  if (type) *type = v.type;
  DWORD size = static_cast<DWORD>(v.data.size());
  if (data) {
    if (!dataBytes) return ERROR_INVALID_PARAMETER;
    if (*dataBytes < size) {
      *dataBytes = size;
      return ERROR_MORE_DATA;
    }
    if (size) memcpy(data, v.data.data(), size);
  }
  if (dataBytes) *dataBytes = size;
  return ERROR_SUCCESS;
}

}  // namespace

std::string registryFilePath() { return deviceRoot() + "/registry.reg"; }

bool prepareRegistryFile() {
  std::lock_guard<std::mutex> lock(gMutex);
  FileLock fileLock;
  struct stat st;
  if (hostCalls().lstat(registryFilePath().c_str(), &st) == 0) return true;
  return saveRegistry(newImageRegistry()) == ERROR_SUCCESS;
}

LONG RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD, DWORD, HKEY* result) {
  if (!result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::lock_guard<std::mutex> lock(gMutex);
  std::string path;
  if (!keyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
  if (subKey && *subKey) {
    std::string sub = utf8FromUtf16(subKey);
    std::string full;
    if (!canonicalKeyPath(path + "\\" + sub, &full)) return ERROR_FILE_NOT_FOUND;
    path = full;
  }
  Registry r;
  int err = 0;
  LoadResult loaded = loadRegistry(&r, &err);
  if (loaded == LoadResult::Unreadable) return static_cast<LONG>(ceErrorFromErrno(err));
  if (!keyExists(r, path)) return ERROR_FILE_NOT_FOUND;
  for (size_t i = 0; i < kMaxOpenKeys; ++i) {
    if (gOpenKeys[i].empty()) {
      gOpenKeys[i] = path;
      *result = reinterpret_cast<HKEY>(kKeyHandleBase + i);
      return ERROR_SUCCESS;
    }
  }
  return ERROR_TOO_MANY_OPEN_FILES;
}

LONG RegCloseKey(HKEY key) {
  std::lock_guard<std::mutex> lock(gMutex);
  uintptr_t v = reinterpret_cast<uintptr_t>(key);
  if (v >= 0x80000000u && v <= 0x80000003u) return ERROR_SUCCESS;
  if (v < kKeyHandleBase || v >= kKeyHandleBase + kMaxOpenKeys ||
      gOpenKeys[v - kKeyHandleBase].empty())
    return ERROR_INVALID_HANDLE;
  gOpenKeys[v - kKeyHandleBase].clear();
  return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataBytes) {
  if ((!data && dataBytes) || dataBytes > kMaxValueBytes) return ERROR_INVALID_PARAMETER;
  if (type == REG_DWORD && dataBytes != 4) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(gMutex);
  std::string path;
  if (!keyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
  FileLock fileLock;
  Registry r;
  int err = 0;
  switch (loadRegistry(&r, &err)) {
    case LoadResult::Unreadable: return static_cast<LONG>(ceErrorFromErrno(err));
    case LoadResult::Malformed: return ERROR_BADDB;
    case LoadResult::Loaded:
    case LoadResult::Missing: break;
  }
  RegKey* k = findKey(r, path);
  if (!k) {
    r.keys.push_back(RegKey{path, {}});
    k = &r.keys.back();
  }
  RegValue v;
  v.name = valueNameOf(valueName);
  v.type = type;
  v.data.assign(data, data + dataBytes);
  if (RegValue* old = findValue(*k, v.name))
    *old = std::move(v);
  else
    k->values.push_back(std::move(v));
  return saveRegistry(r);
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD, LPDWORD type, BYTE* data,
                      LPDWORD dataBytes) {
  std::lock_guard<std::mutex> lock(gMutex);
  std::string path;
  if (!keyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
  Registry r;
  int err = 0;
  if (loadRegistry(&r, &err) == LoadResult::Unreadable)
    return static_cast<LONG>(ceErrorFromErrno(err));
  RegKey* k = findKey(r, path);
  RegValue* v = k ? findValue(*k, valueNameOf(valueName)) : nullptr;
  if (!v) return ERROR_FILE_NOT_FOUND;
  return copyData(*v, type, data, dataBytes);
}

LONG RegDeleteValueW(HKEY key, LPCWSTR valueName) {
  std::lock_guard<std::mutex> lock(gMutex);
  std::string path;
  if (!keyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
  FileLock fileLock;
  Registry r;
  int err = 0;
  switch (loadRegistry(&r, &err)) {
    case LoadResult::Unreadable: return static_cast<LONG>(ceErrorFromErrno(err));
    case LoadResult::Malformed: return ERROR_BADDB;
    case LoadResult::Loaded:
    case LoadResult::Missing: break;
  }
  RegKey* k = findKey(r, path);
  if (!k) return ERROR_FILE_NOT_FOUND;
  std::string name = valueNameOf(valueName);
  for (size_t i = 0; i < k->values.size(); ++i) {
    if (sameIgnoringCase(k->values[i].name, name)) {
      k->values.erase(k->values.begin() + static_cast<std::ptrdiff_t>(i));
      return saveRegistry(r);
    }
  }
  return ERROR_FILE_NOT_FOUND;
}

LONG RegEnumValueW(HKEY key, DWORD index, LPWSTR valueName, LPDWORD nameChars, LPDWORD,
                   LPDWORD type, BYTE* data, LPDWORD dataBytes) {
  if (!valueName || !nameChars) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(gMutex);
  std::string path;
  if (!keyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
  Registry r;
  int err = 0;
  if (loadRegistry(&r, &err) == LoadResult::Unreadable)
    return static_cast<LONG>(ceErrorFromErrno(err));
  RegKey* k = findKey(r, path);
  if (!k || index >= k->values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& v = k->values[index];
  std::u16string name = utf16FromUtf8(v.name);
  if (*nameChars <= name.size()) {
    *nameChars = static_cast<DWORD>(name.size() + 1);
    return ERROR_MORE_DATA;
  }
  memcpy(valueName, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  *nameChars = static_cast<DWORD>(name.size());
  return copyData(v, type, data, dataBytes);
}
