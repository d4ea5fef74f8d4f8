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

// exiftool's "-j -a -G1 -n -b" reading of several files, as file ->
// "Group:Tag" -> value as JSON text (binary values as base64, so that a
// preview or thumbnail is compared whole). exiftool writes one tag a line;
// a tag that repeats in its group gets "#2", "#3" added.
inline std::map<std::string, Tags> jsonTagsOf(const std::vector<std::string>& paths) {
  const std::string list = ::testing::TempDir() + "exiftool-args.txt";
  std::string args;
  for (const std::string& p : paths) args += p + "\n";
  writeWholeFile(list, args);
  std::istringstream lines(commandOutput("exiftool -j -a -G1 -n -b -@ '" + list + "' 2>/dev/null"));
  std::map<std::string, Tags> all;
  std::string line, file;
  while (std::getline(lines, line)) {
    const size_t open = line.find("  \""), close = line.find("\": ");
    if (open != 0 || close == std::string::npos) continue;
    std::string key = line.substr(3, close - 3), value = line.substr(close + 3);
    if (!value.empty() && value.back() == ',') value.pop_back();
    if (key == "SourceFile") {
      file = value.substr(1, value.size() - 2);
      continue;
    }
    std::string unique = key;
    for (int n = 2; all[file].count(unique); n++) unique = key + "#" + std::to_string(n);
    all[file][unique] = value;
  }
  return all;
}
