// The registry file's reader over arbitrary bytes: it never reads outside
// the text, and whatever it accepts is written back as text that reads to the
// same values and writes out the same again.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry/registry_text.h"

namespace {

bool sameRegistry(const Registry& a, const Registry& b) {
  if (a.keys.size() != b.keys.size()) return false;
  for (size_t i = 0; i < a.keys.size(); ++i) {
    const RegKey& x = a.keys[i];
    const RegKey& y = b.keys[i];
    if (x.path != y.path || x.values.size() != y.values.size()) return false;
    for (size_t k = 0; k < x.values.size(); ++k)
      if (x.values[k].name != y.values[k].name || x.values[k].type != y.values[k].type ||
          x.values[k].data != y.values[k].data)
        return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  Registry first;
  std::string error;
  if (!parseRegistry(text, &first, &error)) return 0;
  std::string written = formatRegistry(first);
  Registry second;
  if (!parseRegistry(written, &second, &error)) abort();
  if (!sameRegistry(first, second)) abort();
  if (formatRegistry(second) != written) abort();
  return 0;
}
