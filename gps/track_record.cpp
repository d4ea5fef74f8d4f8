// Byte-by-byte little-endian coding of the 14-byte track record.
#include "gps/track_record.h"

#include <cstring>

namespace {

void putLe32(BYTE* out, uint32_t v) {
  out[0] = static_cast<BYTE>(v);
  out[1] = static_cast<BYTE>(v >> 8);
  out[2] = static_cast<BYTE>(v >> 16);
  out[3] = static_cast<BYTE>(v >> 24);
}

uint32_t getLe32(const BYTE* in) {
  return static_cast<uint32_t>(in[0]) | static_cast<uint32_t>(in[1]) << 8 |
         static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[3]) << 24;
}

uint32_t floatBits(float f) {
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  return bits;
}

float floatFromBits(uint32_t bits) {
  float f;
  memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace

void encodeTrackRecord(const TrackRecord& record, BYTE* out) {
  putLe32(out + 0, static_cast<uint32_t>(record.utcSeconds));
  putLe32(out + 4, floatBits(record.latitude));
  out[8] = static_cast<BYTE>(record.latRef);
  putLe32(out + 9, floatBits(record.longitude));
  out[13] = static_cast<BYTE>(record.lonRef);
}

TrackRecord decodeTrackRecord(const BYTE* in) {
  TrackRecord r;
  r.utcSeconds = static_cast<int32_t>(getLe32(in + 0));
  r.latitude = floatFromBits(getLe32(in + 4));
  r.latRef = static_cast<char>(in[8]);
  r.longitude = floatFromBits(getLe32(in + 9));
  r.lonRef = static_cast<char>(in[13]);
  return r;
}
