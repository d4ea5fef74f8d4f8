// An independent, deliberately plain model of what the recorder writes: given
// the text each tick reads, the day files and their bytes. Written from the
// rules of the log format, not from the recorder's code, so the end-to-end
// tests compare the program against a second reading of the same rules; only
// the record's bytes come from the log's codec.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "gps/track_record.h"

class TrackModel {
 public:
  // One tick that read `text` (which may hold a NUL: the text ends there,
  // and nothing of it waits for the next tick).
  void tick(std::string text) {
    text = carried_ + text;
    carried_.clear();
    size_t nul = text.find('\0');
    text = text.substr(0, nul);
    std::string records;
    size_t pos = 0;
    for (;;) {
      size_t end = text.find("\r\n", pos);
      if (end == std::string::npos) break;
      std::string line = text.substr(pos, end - pos);
      pos = end + 2;
      if (skipping_) {
        skipping_ = false;
        continue;
      }
      if (line.size() > 1023 || !rmc(line) || !checksumOk(line)) continue;
      parse(line, &records);
    }
    std::string rest = text.substr(pos);
    if (nul == std::string::npos && !skipping_ && rest.size() <= 1023) carried_ = rest;
    else if (nul == std::string::npos && !rest.empty()) skipping_ = true;
    bool complete = fixDate_.size() == 6;
    if (!open_) {
      if (!complete) return;
      open_ = true;
      openDate_ = fixDate_;
    } else if (complete && fixDate_ != openDate_) {
      openDate_ = fixDate_;
    }
    files_[openDate_ + ".log"] += records;
  }

  // Day file name -> its bytes; a file that would be opened but got no
  // record still exists, empty.
  const std::map<std::string, std::string>& files() const { return files_; }

  // The bytes go through the log's one codec, which the intake tests hold
  // to the documented example bytes.
  static std::string record(int32_t seconds, float lat, char latRef, float lon, char lonRef) {
    BYTE r[kTrackRecordBytes];
    encodeTrackRecord(TrackRecord{seconds, lat, latRef, lon, lonRef}, r);
    return std::string(reinterpret_cast<const char*>(r), sizeof r);
  }

 private:
  static bool rmc(const std::string& line) {
    for (const char* name : {"$GPRMC,", "$GNRMC,", "$GLRMC,", "$GARMC,", "$GBRMC,", "$BDRMC,"})
      if (line.compare(0, 7, name) == 0) return true;
    return false;
  }
  static bool checksumOk(const std::string& line) {
    size_t star = line.rfind('*');
    if (star == std::string::npos) return true;
    if (line.size() != star + 3 || !isxdigit(static_cast<unsigned char>(line[star + 1])) ||
        !isxdigit(static_cast<unsigned char>(line[star + 2])))
      return false;
    int sum = 0;
    for (size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(line[i]);
    return sum == static_cast<int>(strtol(line.substr(star + 1).c_str(), nullptr, 16));
  }

  void parse(const std::string& line, std::string* records) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t comma; (comma = line.find(',', start)) != std::string::npos && fields.size() < 32;
         start = comma + 1)
      fields.push_back(line.substr(start, comma - start));
    for (const std::string& f : fields)
      if (f.size() > 63) return;  // not a sentence: the line changes nothing
    for (size_t i = 0; i < fields.size(); ++i) slots_[i] = fields[i];
    fixDate_ = slots_[9].substr(0, 6);
    if (slots_[2].empty() || slots_[2][0] != 'A') {
      fixDate_.clear();
      records->clear();
      keptTime_ = "\n";  // no time field equals it
      return;
    }
    if (fields.size() < 7) return;
    for (int k : {1, 3, 4, 5, 6})
      if (fields[k].empty()) return;
    if (fields[1] == keptTime_ && fixDate_ == keptDate_) return;
    keptTime_ = fields[1];
    keptDate_ = fixDate_;
    std::string t = slots_[1].substr(0, 6);
    auto pair = [&t](size_t at) { return at < t.size() ? atoi(t.substr(at, 2).c_str()) : 0; };
    int32_t seconds = pair(0) * 3600 + pair(2) * 60 + pair(4);
    float lat = static_cast<float>(strtod(slots_[3].c_str(), nullptr));
    float lon = static_cast<float>(strtod(slots_[5].c_str(), nullptr));
    char latRef = slots_[4][0];
    char lonRef = slots_[6][0];
    *records += record(seconds, lat, latRef, lon, lonRef);
  }

  std::string slots_[32];
  std::string fixDate_;
  std::string carried_;
  bool skipping_ = false;
  std::string keptTime_ = "\n", keptDate_;
  bool open_ = false;
  std::string openDate_;
  std::map<std::string, std::string> files_;
};
