// Reading and writing the fields of a JPEG header and its TIFF structures:
// segment lengths are big-endian, TIFF fields little-endian. Every read of the
// TIFF data goes through TiffBytes, which checks the offset and length against
// what the buffer holds in 64-bit arithmetic, so no 32-bit offset or count a
// damaged photo carries can wrap around the check.
#pragma once

#include <cstdint>

inline uint16_t readBe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
inline uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t readLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void writeBe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void writeLe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void writeLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The TIFF data of an APP1 segment: offsets count from its first byte.
struct TiffBytes {
  const uint8_t* data = nullptr;
  uint32_t size = 0;

  bool has(uint64_t offset, uint64_t length) const {
    return offset <= size && length <= size - offset;
  }
  // Callers check has() first.
  uint16_t le16(uint32_t offset) const { return readLe16(data + offset); }
  uint32_t le32(uint32_t offset) const { return readLe32(data + offset); }
};
