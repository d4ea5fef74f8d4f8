// The identity builder over arbitrary identification bytes: whatever the
// header claims, the text stays inside its buffer, holds only hex digits,
// has an even length of at most 254 and is the same for the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "card/card_identity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BYTE identification[kIdentificationBufferSize] = {};
  memcpy(identification, data, size < sizeof identification ? size : sizeof identification);
  char text[kIdentityTextSize];
  size_t length = buildCardIdentity(identification, text);
  if (length > 2 * kMaxIdentityBytes || length % 2 != 0 || text[length] != 0) abort();
  for (size_t i = 0; i < length; ++i)
    if (!((text[i] >= '0' && text[i] <= '9') || (text[i] >= 'A' && text[i] <= 'F'))) abort();
  char again[kIdentityTextSize];
  if (buildCardIdentity(identification, again) != length || memcmp(text, again, length + 1)) abort();
  return 0;
}
