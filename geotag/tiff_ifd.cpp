#include "geotag/tiff_ifd.h"

uint32_t tiffTypeSize(uint8_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;  // BYTE ASCII SBYTE UNDEFINED
    case 3: case 8: return 2;                  // SHORT SSHORT
    case 4: case 9: case 11: case 13: return 4;  // LONG SLONG FLOAT IFD
    case 5: case 10: case 12: return 8;        // RATIONAL SRATIONAL DOUBLE
    default: return 0;
  }
}

bool readIfdTable(const TiffBytes& tiff, uint64_t offset, IfdTable* table) {
  if (!tiff.has(offset, 2)) return false;
  uint32_t count = tiff.u16(static_cast<uint32_t>(offset));
  if (count > kMaxIfdEntries) return false;
  if (!tiff.has(offset + 2, uint64_t{count} * kIfdEntryBytes + 4)) return false;
  table->offset = static_cast<uint32_t>(offset);
  table->count = count;
  return true;
}

IfdEntry ifdEntry(const TiffBytes& tiff, const IfdTable& table, uint32_t index) {
  uint32_t at = table.offset + 2 + index * kIfdEntryBytes;
  IfdEntry e;
  e.tag = tiff.u16(at);
  e.type = static_cast<uint8_t>(tiff.u16(at + 2));
  e.count = tiff.u32(at + 4);
  e.value = tiff.u32(at + 8);
  e.position = at;
  return e;
}

uint32_t nextIfdOffset(const TiffBytes& tiff, const IfdTable& table) {
  return tiff.u32(table.entriesEnd());
}

uint64_t valueBytes(const IfdEntry& e) { return uint64_t{e.count} * tiffTypeSize(e.type); }

bool valueOutsideEntry(const IfdEntry& e) { return valueBytes(e) > 4; }
