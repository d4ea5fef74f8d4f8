// exiftool as the independent reader of tagged photos: every tag of a photo,
// so that a test can say nothing but the GPS position was added.
#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/device_image_fixture.h"

inline bool haveExiftool() { return !commandOutput("command -v exiftool 2>/dev/null").empty(); }

// exiftool's "-G1 -s" listing of several files, as file -> tag -> value.
// Left out is what a rewrite must change: the file's own facts, the GPS
// group and offsets.
using Tags = std::map<std::string, std::string>;
inline std::map<std::string, Tags> tagsOf(const std::vector<std::string>& paths) {
  std::string command = "exiftool -a -G1 -s -n";
  for (const std::string& p : paths) command += " '" + p + "'";
  command += " 2>/dev/null";
  std::map<std::string, Tags> all;
  std::istringstream lines(commandOutput(command));
  std::string line, file = paths.size() == 1 ? paths[0] : "";
  while (std::getline(lines, line)) {
    if (line.rfind("======== ", 0) == 0) {
      file = line.substr(9);
      continue;
    }
    size_t colon = line.find(": ");
    if (colon == std::string::npos) continue;
    std::string key = line.substr(0, line.find_last_not_of(' ', colon - 1) + 1);
    std::string value = line.substr(colon + 2);
    if (key.rfind("[System]", 0) == 0 || key.rfind("[File]", 0) == 0 || key.rfind("[Composite]", 0) == 0 ||
        key.find("Offset") != std::string::npos)
      continue;
    // The note about odd offsets is what the 115-byte GPS block makes unavoidable.
    if (key.rfind("[ExifTool]", 0) == 0 && value.find("odd offset") != std::string::npos) continue;
    all[file][key] = value;
  }
  return all;
}

// The tags without the GPS group, which tagging adds.
inline Tags withoutGps(Tags tags) {
  std::erase_if(tags, [](const auto& kv) { return kv.first.rfind("[GPS]", 0) == 0; });
  return tags;
}
