// Registry: RegOpenKeyExW, RegSetValueExW, RegQueryValueExW, RegDeleteValueW,
// RegEnumValueW, RegCloseKey.
//
// Backed by DIR/registry.reg (registry_file.cpp). Every call reads the file
// afresh, so a change made by another process (an install run) is seen at
// once; every change is one read-modify-write of the whole file under the
// file's lock. An enumeration is the exception: RegEnumValueW reads the file
// at index 0 and answers the later indexes of that key handle from what it
// read, so listing n values reads the file once, not n times.
// Not supported: creating or deleting keys, security, notifications.
#include "platform/registry/registry.h"

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

#include "platform/kernel/device_image.h"
#include "platform/core/errors.h"
#include "platform/core/host_calls.h"
#include "platform/registry/registry_file.h"
#include "platform/registry/registry_text.h"
#include "platform/core/wide_text.h"

namespace {

constexpr size_t kMaxValueBytes = 64 * 1024;
constexpr size_t kMaxOpenKeys = 64;
constexpr uintptr_t kKeyHandleBase = 0x10000;

std::mutex gMutex;  // guards the open-key table and serialises this process's changes
std::string gOpenKeys[kMaxOpenKeys];
// What the latest enumeration from index 0 read, by key handle.
struct EnumSnapshot {
  bool taken = false;
  std::vector<RegValue> values;
};
EnumSnapshot gEnumSnapshots[kMaxOpenKeys];

// The slot of an open key handle, or -1 for a root or an unknown handle.
int openKeySlot(HKEY key) {
  uintptr_t v = reinterpret_cast<uintptr_t>(key);
  if (v < kKeyHandleBase || v >= kKeyHandleBase + kMaxOpenKeys) return -1;
  return static_cast<int>(v - kKeyHandleBase);
}

void dropSnapshot(HKEY key) {
  int slot = openKeySlot(key);
  if (slot >= 0) gEnumSnapshots[slot] = EnumSnapshot{};
}

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
    if (sameIgnoringAsciiCase(k.path, path)) return true;
    if (k.path.size() > path.size() && k.path[path.size()] == '\\' &&
        sameIgnoringAsciiCase(std::string_view(k.path).substr(0, path.size()), path))
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
      gEnumSnapshots[i] = EnumSnapshot{};
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
  dropSnapshot(key);
  return ERROR_SUCCESS;
}

LONG RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD, DWORD type, const BYTE* data,
                    DWORD dataBytes) {
  if ((!data && dataBytes) || dataBytes > kMaxValueBytes) return ERROR_INVALID_PARAMETER;
  if (type == REG_DWORD && dataBytes != 4) return ERROR_INVALID_PARAMETER;
  std::lock_guard<std::mutex> lock(gMutex);
  std::string path;
  if (!keyPathOf(key, &path)) return ERROR_INVALID_HANDLE;
  dropSnapshot(key);
  RegistryFileLock fileLock;
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
  dropSnapshot(key);
  RegistryFileLock fileLock;
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
    if (sameIgnoringAsciiCase(k->values[i].name, name)) {
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
  // A root key's enumeration has nowhere to keep what it read: it reads
  // the file at each index.
  int slot = openKeySlot(key);
  EnumSnapshot fresh;
  EnumSnapshot& snapshot = slot >= 0 ? gEnumSnapshots[slot] : fresh;
  if (index == 0 || !snapshot.taken) {
    Registry r;
    int err = 0;
    if (loadRegistry(&r, &err) == LoadResult::Unreadable)
      return static_cast<LONG>(ceErrorFromErrno(err));
    RegKey* k = findKey(r, path);
    snapshot.values = k ? std::move(k->values) : std::vector<RegValue>{};
    snapshot.taken = true;
  }
  if (index >= snapshot.values.size()) return ERROR_NO_MORE_ITEMS;
  const RegValue& v = snapshot.values[index];
  std::u16string name = utf16FromUtf8(v.name);
  if (*nameChars <= name.size()) {
    *nameChars = static_cast<DWORD>(name.size() + 1);
    return ERROR_MORE_DATA;
  }
  memcpy(valueName, name.c_str(), (name.size() + 1) * sizeof(char16_t));
  *nameChars = static_cast<DWORD>(name.size());
  return copyData(v, type, data, dataBytes);
}
