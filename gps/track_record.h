// The daily track log's format: where the day files lie, what they are
// named, and the one coding of the 14-byte record they hold, for the
// recorder, the lookup, the tools and the tests alike.
//
// A day's records go to \ResidentFlash\vellumtrace\DDMMYY.log, named after
// the UTC date the receiver's $GPRMC sentences carry. A file is nothing but
// records back to back, each packed and little-endian:
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

#include <bit>
#include <cstddef>
#include <cstdint>

#include "platform/core/byte_order.h"
#include "platform/core/ce_types.h"

constexpr int kTrackRecordBytes = 14;
// A day's name: ddmmyy and a NUL, in a field of 8 bytes.
constexpr size_t kFixDateBytes = 8;

// The folder of the day files (also the folder the program installs into).
constexpr WCHAR kTrackLogFolder[] = u"\\ResidentFlash\\vellumtrace";

struct TrackRecord {
  int32_t utcSeconds = 0;
  float latitude = 0.0f;
  char latRef = 0;
  float longitude = 0.0f;
  char lonRef = 0;
};

// A fix on its way to the log: its record's bytes and the day file they go
// to, the date of the sentence the fix came in.
struct DatedRecord {
  char date[kFixDateBytes] = {};
  BYTE bytes[kTrackRecordBytes] = {};
};

// Writes the record's 14 bytes at `out`. (Inline: the lookup decodes every
// record of a day, 86,400 of them, for each photo.)
inline void encodeTrackRecord(const TrackRecord& record, BYTE* out) {
  writeLe32(out + 0, static_cast<uint32_t>(record.utcSeconds));
  writeLe32(out + 4, std::bit_cast<uint32_t>(record.latitude));
  out[8] = static_cast<BYTE>(record.latRef);
  writeLe32(out + 9, std::bit_cast<uint32_t>(record.longitude));
  out[13] = static_cast<BYTE>(record.lonRef);
}

// Reads a record from the 14 bytes at `in`.
inline TrackRecord decodeTrackRecord(const BYTE* in) {
  TrackRecord r;
  r.utcSeconds = static_cast<int32_t>(readLe32(in + 0));
  r.latitude = std::bit_cast<float>(readLe32(in + 4));
  r.latRef = static_cast<char>(in[8]);
  r.longitude = std::bit_cast<float>(readLe32(in + 9));
  r.lonRef = static_cast<char>(in[13]);
  return r;
}

// The day file for the six characters of a date, ddmmyy, exactly as given
// (\ResidentFlash\vellumtrace\060326.log for 6 March 2026; a shorter text
// ends at its NUL), cut to `size` units and always terminated.
void trackLogPath(const char* ddmmyy, WCHAR* path, size_t size);
