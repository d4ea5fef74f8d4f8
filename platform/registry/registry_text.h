// The .reg text behind the registry: what DIR/registry.reg holds and how it
// reads back. Strings ("..." with \\ and \" escaped), dword:XXXXXXXX, hex:aa,bb
// and hex(N):aa,bb values, long hex data continued over lines ending in ",\",
// ';' comments, an optional REGEDIT4 header and UTF-8 byte-order mark.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

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

// Reads the whole text; false with a line number and reason in `error` for
// anything that is not the format. Never reads outside `text`.
bool parseRegistry(std::string_view text, Registry* out, std::string* error);
// The text for a registry; parseRegistry reads it back to the same values,
// byte for byte.
std::string formatRegistry(const Registry& r);

// "ROOT\a\b" with a known root (spelled as the root's own name) and non-empty
// names; false for anything else.
bool canonicalKeyPath(std::string_view path, std::string* out);
RegKey* findKey(Registry& r, std::string_view path);
RegValue* findValue(RegKey& k, std::string_view name);
