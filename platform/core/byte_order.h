// Little- and big-endian 16- and 32-bit fields of files and packets, read
// and written one byte at a time, so that neither the alignment of the field
// nor the host's own byte order can change what is read or written. Header
// only; for the layer and the program alike (BMP and boot-sector fields, JPEG
// segment lengths, TIFF structures, track records).
#pragma once

#include <cstdint>

inline uint16_t readLe16(const void* at) {
  const uint8_t* p = static_cast<const uint8_t*>(at);
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t readLe32(const void* at) {
  const uint8_t* p = static_cast<const uint8_t*>(at);
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint16_t readBe16(const void* at) {
  const uint8_t* p = static_cast<const uint8_t*>(at);
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t readBe32(const void* at) {
  const uint8_t* p = static_cast<const uint8_t*>(at);
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

// The writes keep the low 16 or 32 bits of `v`.
inline void writeLe16(void* at, uint32_t v) {
  uint8_t* p = static_cast<uint8_t*>(at);
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void writeLe32(void* at, uint32_t v) {
  uint8_t* p = static_cast<uint8_t*>(at);
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void writeBe16(void* at, uint32_t v) {
  uint8_t* p = static_cast<uint8_t*>(at);
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
inline void writeBe32(void* at, uint32_t v) {
  uint8_t* p = static_cast<uint8_t*>(at);
  for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}
