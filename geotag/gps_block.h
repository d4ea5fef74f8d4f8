// The GPS IFD the geotagger writes: five entries (version 2.2.0.0, latitude
// and longitude with their hemisphere letters) and their six rationals, 115
// bytes with a trailing zero byte, written in front of the photo's IFD1 (or
// at the end of its TIFF data) and after the new IFD0 entry, so at that
// offset + 12.
#pragma once

#include <cstdint>

constexpr uint32_t kGpsIfdBytes = 115;
extern const uint8_t kGpsIfdTemplate[kGpsIfdBytes];

// A coordinate as the block stores it: whole degrees, and minutes × 10000.
struct DegreesMinutes {
  uint32_t degrees = 0;
  uint32_t minutes = 0;
};

// Splits a packed NMEA value (degrees × 100 + minutes) through its "%04.4f"
// text: the minutes are the two digits before the point and the four after,
// the degrees whatever precedes them. False when the value cannot be a
// coordinate (not finite, negative, or beyond `limit`, 9000 or 18000).
bool splitDegreesMinutes(float packed, float limit, DegreesMinutes* out);

// Fills a copy of the template for a photo whose GPS block goes at `insertAt`
// + 12 (IFD1's old offset, or the end of its TIFF data), in the photo's byte
// order.
void fillGpsBlock(uint8_t block[kGpsIfdBytes], uint32_t insertAt, char latRef, DegreesMinutes lat,
                  char lonRef, DegreesMinutes lon, bool bigEndian = false);
