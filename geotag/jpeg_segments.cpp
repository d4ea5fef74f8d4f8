#include "geotag/jpeg_segments.h"

#include <cctype>

#include "platform/core/byte_order.h"
#include "platform/kernel/files.h"

namespace {

// Garbage an identifier may follow.
constexpr uint32_t kMaxIdentifierLead = 4;

bool readExactly(HANDLE file, void* buffer, DWORD size) {
  DWORD got = 0;
  return ReadFile(file, buffer, size, &got, nullptr) && got == size;
}

}  // namespace

uint32_t exifIdentifierBytes(const uint8_t* payload, uint32_t size) {
  for (uint32_t lead = 0; lead <= kMaxIdentifierLead && lead + 6 <= size; lead++) {
    const uint8_t* p = payload + lead;
    if (std::tolower(p[0]) == 'e' && std::tolower(p[1]) == 'x' && std::tolower(p[2]) == 'i' &&
        std::tolower(p[3]) == 'f' && p[4] == 0)
      return lead + 6;
  }
  return 0;
}

TagOutcome readPhotoApp1(HANDLE photo, PhotoApp1* app1, uint8_t* payload) {
  DWORD high = 0;
  DWORD size = GetFileSize(photo, &high);
  if (size == 0xFFFFFFFFu || high != 0) return TagOutcome::OutsideLayout;
  app1->fileSize = size;

  uint8_t soi[2];
  if (!readExactly(photo, soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8) return TagOutcome::NotJpeg;

  bool sawApp1 = false;
  uint64_t position = 2;
  for (;;) {
    uint8_t head[4];
    if (SetFilePointer(photo, static_cast<LONG>(position), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
      return TagOutcome::Truncated;
    if (!readExactly(photo, head, 4)) return TagOutcome::Truncated;
    const uint8_t marker = head[1];
    const uint32_t length = readBe16(head + 2);
    if (head[0] != 0xFF) return sawApp1 ? TagOutcome::NotExif : TagOutcome::NoApp1;
    // Markers without a length, and the start of the scan, end the search.
    if (marker == 0xD8 || marker == 0xD9 || marker == 0xDA || marker == 0x01 ||
        (marker >= 0xD0 && marker <= 0xD7) || marker == 0xFF)
      return sawApp1 ? TagOutcome::NotExif : TagOutcome::NoApp1;
    if (length < 2) return TagOutcome::OutsideLayout;
    if (position + 2 + length > size) return TagOutcome::Truncated;
    if (marker == 0xE1) {
      sawApp1 = true;
      if (!readExactly(photo, payload, length - 2)) return TagOutcome::Truncated;
      if (exifIdentifierBytes(payload, length - 2) != 0) {
        app1->lengthField = static_cast<uint32_t>(position + 2);
        app1->length = length;
        return TagOutcome::Tagged;
      }
    }
    position += 2 + uint64_t{length};
  }
}
