// One fix of the daily track log: 14 bytes, packed, little-endian.
//
//   offset 0  int32   utcSeconds  seconds since 00:00:00 UTC of the file's day
//   offset 4  float32 latitude    NMEA packed form ddmm.mmmm, e.g. 5545.1234
//   offset 8  byte    latRef      'N' or 'S', 0 when the field was empty
//   offset 9  float32 longitude   NMEA packed form dddmm.mmmm
//   offset 13 byte    lonRef      'E' or 'W', 0 when the field was empty
//
// The longitude is not aligned, so a record is only ever built and read byte
// by byte through these helpers, never through a padded structure in memory.
#pragma once

#include <cstdint>

#include "platform/core/ce_types.h"

constexpr int kTrackRecordBytes = 14;

struct TrackRecord {
  int32_t utcSeconds = 0;
  float latitude = 0.0f;
  char latRef = 0;
  float longitude = 0.0f;
  char lonRef = 0;
};

// Writes the record's 14 bytes at `out`.
void encodeTrackRecord(const TrackRecord& record, BYTE* out);
// Reads a record from the 14 bytes at `in`.
TrackRecord decodeTrackRecord(const BYTE* in);
