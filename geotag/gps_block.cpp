#include "geotag/gps_block.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/byte_order.h"

// 'N', 'E', zero numerators and the offsets of a photo whose IFD1 was at 816;
// each is replaced before the block is written.
const uint8_t kGpsIfdTemplate[kGpsIfdBytes] = {
    0x05, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00, 0x00,  // GPSVersionID
    0x01, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 'N', 0x00, 0x00, 0x00,   // GPSLatitudeRef
    0x02, 0x00, 0x05, 0x00, 0x03, 0x00, 0x00, 0x00, 0x7E, 0x03, 0x00, 0x00,  // GPSLatitude
    0x03, 0x00, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 'E', 0x00, 0x00, 0x00,   // GPSLongitudeRef
    0x04, 0x00, 0x05, 0x00, 0x03, 0x00, 0x00, 0x00, 0x96, 0x03, 0x00, 0x00,  // GPSLongitude
    0x00, 0x00, 0x00, 0x00,                                                  // no next IFD
    0, 0, 0, 0, 1, 0, 0, 0,     0, 0, 0, 0, 0x10, 0x27, 0, 0,  0, 0, 0, 0, 1, 0, 0, 0,
    0, 0, 0, 0, 1, 0, 0, 0,     0, 0, 0, 0, 0x10, 0x27, 0, 0,  0, 0, 0, 0, 1, 0, 0, 0,
    0x00,
};

bool splitDegreesMinutes(float packed, float limit, DegreesMinutes* out) {
  if (!std::isfinite(packed) || packed < 0.0f || packed > limit) return false;
  char text[32];
  snprintf(text, sizeof text, "%04.4f", static_cast<double>(packed));
  const char* point = strchr(text, '.');
  if (!point) return false;
  const char* minutes = point - text >= 2 ? point - 2 : text;
  uint32_t degrees = 0;
  for (const char* c = text; c < minutes; c++) degrees = degrees * 10 + static_cast<uint32_t>(*c - '0');
  out->degrees = degrees;
  // Truncated toward zero: 45.1234 gives 451233 (the product is 451233.99999999994).
  out->minutes = static_cast<uint32_t>(strtod(minutes, nullptr) * 10000.0);
  return true;
}

namespace {

void swap16(uint8_t* p) { writeBe16(p, readLe16(p)); }
void swap32(uint8_t* p) { writeBe32(p, readLe32(p)); }

// The filled block in big-endian order: every number turned, the letters and
// the version bytes kept as they are.
void turnBigEndian(uint8_t block[kGpsIfdBytes]) {
  swap16(block);
  for (int e = 0; e < 5; e++) {
    uint8_t* entry = block + 2 + 12 * e;
    swap16(entry);
    swap16(entry + 2);
    swap32(entry + 4);
    if (readBe16(entry + 2) == 5) swap32(entry + 8);  // the rationals' offsets
  }
  swap32(block + 62);
  for (int r = 0; r < 12; r++) swap32(block + 66 + 4 * r);
}

}  // namespace

void fillGpsBlock(uint8_t block[kGpsIfdBytes], uint32_t insertAt, char latRef, DegreesMinutes lat,
                  char lonRef, DegreesMinutes lon, bool bigEndian) {
  memcpy(block, kGpsIfdTemplate, kGpsIfdBytes);
  block[22] = static_cast<uint8_t>(latRef);
  block[46] = static_cast<uint8_t>(lonRef);
  writeLe16(block + 34, insertAt + 78);
  writeLe16(block + 58, insertAt + 102);
  writeLe32(block + 66, lat.degrees);
  writeLe32(block + 74, lat.minutes);
  writeLe32(block + 90, lon.degrees);
  writeLe32(block + 98, lon.minutes);
  if (bigEndian) turnBigEndian(block);
}
