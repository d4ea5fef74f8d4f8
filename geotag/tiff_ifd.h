// The TIFF image file directory: a 16-bit entry count, 12-byte entries (tag,
// type, count, value or offset) and the 32-bit offset of the next IFD. TIFF
// fields are in the byte order the header names ("II" little-endian, "MM"
// big-endian), and a rewrite keeps it. Every read of the TIFF data goes through
// TiffBytes, which checks the offset and length against what the buffer holds
// in 64-bit arithmetic, so no 32-bit offset or count a damaged photo carries
// can wrap around the check.
#pragma once

#include <cstdint>

#include "platform/core/byte_order.h"

// The TIFF data of an APP1 segment: offsets count from its first byte.
struct TiffBytes {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  bool bigEndian = false;

  bool has(uint64_t offset, uint64_t length) const {
    return offset <= size && length <= size - offset;
  }
  // Callers check has() first.
  uint16_t u16(uint32_t offset) const { return bigEndian ? readBe16(data + offset) : readLe16(data + offset); }
  uint32_t u32(uint32_t offset) const { return bigEndian ? readBe32(data + offset) : readLe32(data + offset); }
};

// Writes a TIFF field in the given byte order.
inline void putTiff16(uint8_t* at, uint32_t v, bool bigEndian) {
  if (bigEndian) writeBe16(at, v); else writeLe16(at, v);
}
inline void putTiff32(uint8_t* at, uint32_t v, bool bigEndian) {
  if (bigEndian) writeBe32(at, v); else writeLe32(at, v);
}

constexpr uint32_t kIfdEntryBytes = 12;
// No IFD of a real photo comes near this; a damaged count cannot make a walk
// run long.
constexpr uint32_t kMaxIfdEntries = 2048;

struct IfdEntry {
  uint16_t tag;
  uint8_t type;  // the low byte: the types in use all fit it
  uint32_t count;
  uint32_t value;     // the field as a 32-bit number: the offset of a value over 4 bytes
  uint32_t position;  // where the entry lies in the TIFF data
};

struct IfdTable {
  uint32_t offset = 0;  // of the entry count
  uint32_t count = 0;
  uint32_t entriesEnd() const { return offset + 2 + count * kIfdEntryBytes; }
  uint32_t end() const { return entriesEnd() + 4; }  // after the next-IFD offset
};

// Bytes per value of a TIFF type; 0 for a type this program does not know.
uint32_t tiffTypeSize(uint8_t type);

// Reads the table at `offset`: false when its count exceeds kMaxIfdEntries or
// the table, next-IFD offset included, does not fit the data.
bool readIfdTable(const TiffBytes& tiff, uint64_t offset, IfdTable* table);
IfdEntry ifdEntry(const TiffBytes& tiff, const IfdTable& table, uint32_t index);
uint32_t nextIfdOffset(const TiffBytes& tiff, const IfdTable& table);

// The size of an entry's value in bytes, 0 for an unknown type.
uint64_t valueBytes(const IfdEntry& e);
// True when the value lies outside the entry, at the offset the entry holds.
bool valueOutsideEntry(const IfdEntry& e);
