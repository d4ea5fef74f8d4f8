// Reads the card's storage identification from its disk device and turns it
// into the identity text the card check compares.
#include "card/card_identity.h"

#include <cstring>

#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "platform/core/byte_order.h"
#include "platform/kernel/files.h"
#include "platform/kernel/storage.h"
#include "platform/core/handles.h"

namespace {

const char kDigits[] = "0123456789ABCDEF";

// Appends identification[from, to) to the text, clamped to the buffer and to
// the room left for identification bytes.
void appendSpan(const BYTE* identification, DWORD from, DWORD to, char* text, size_t* length) {
  if (to > kIdentificationBufferSize) to = kIdentificationBufferSize;
  for (DWORD i = from; i < to && *length / 2 < kMaxIdentityBytes; ++i) {
    text[(*length)++] = kDigits[identification[i] >> 4];
    text[(*length)++] = kDigits[identification[i] & 0x0F];
  }
}

}  // namespace

size_t buildCardIdentity(const BYTE (&identification)[kIdentificationBufferSize],
                         char (&text)[kIdentityTextSize]) {
  DWORD size = readLe32(identification);
  DWORD flags = readLe32(identification + 4);
  DWORD manufacturerOffset = readLe32(identification + 8);
  DWORD serialOffset = readLe32(identification + 12);
  size_t length = 0;
  if (manufacturerOffset != 0 && !(flags & MANUFACTUREID_INVALID))
    appendSpan(identification, manufacturerOffset, serialOffset, text, &length);
  appendSpan(identification, serialOffset, size, text, &length);
  text[length] = 0;
  return length;
}

bool readSlotIdentity(WCHAR* identity, size_t units) {
  HANDLE disk = CreateFileW(u"DSK2:", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (disk == INVALID_HANDLE_VALUE) return false;
  // Cleared first, so bytes the device does not fill read as zeros rather
  // than as whatever the stack held: the same card gives the same text.
  BYTE identification[kIdentificationBufferSize] = {};
  DWORD returned = 0;
  BOOL answered = DeviceIoControl(disk, IOCTL_DISK_GET_STORAGEID, nullptr, 0, identification,
                                  sizeof identification, &returned, nullptr);
  CloseHandle(disk);
  // A device that opens but gives no identification is as good as no card:
  // an identity made from nothing would match no card and every empty read.
  if (!answered || returned < sizeof(STORAGE_IDENTIFICATION)) return false;

  char text[kIdentityTextSize];
  size_t length = buildCardIdentity(identification, text);
  memset(identity, 0, units * sizeof(WCHAR));
  for (size_t i = 0; i < length && i + 1 < units; ++i) identity[i] = static_cast<WCHAR>(text[i]);
  return true;
}

int readCardIdentity() {
  return readSlotIdentity(shared.cardIdentity, sizeof shared.cardIdentity / sizeof(WCHAR)) ? 1 : 0;
}
