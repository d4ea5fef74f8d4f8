// The camera corpus (tests/data/cameras, many makers' photos and damaged
// files): each photo comes out as EXPECTED.tsv says, with exiftool as the
// independent reader. A tagged photo has its position and every other tag,
// previews and maker notes included, as it was, and no new warning that is
// not minor; one not tagged is byte for byte as it was. exiftool's own
// geotagging runs on copies from a GPX of the same fixes: a photo it tags
// that the tagger turns away must say why in the table.
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "tests/geotag/exiftool_tags.h"
#include "tests/geotag/photo_fixture.h"
#include "tests/support/test_data.h"

namespace {

constexpr int kCameraAhead = 10800;
constexpr TestRecord kFix{0, 4807.038f, 'S', 1131.0f, 'W'};
constexpr TestRecord kSecondEarly{0, 1.0f, 'N', 2.0f, 'E'};

struct Expected {
  std::string outcome, why;
};

std::map<std::string, Expected> expectedOutcomes(const std::string& dir) {
  std::ifstream table(dir + "EXPECTED.tsv");
  std::map<std::string, Expected> all;
  std::string line;
  std::getline(table, line);  // header
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string name;
    Expected e;
    std::getline(fields, name, '\t');
    std::getline(fields, e.outcome, '\t');
    std::getline(fields, e.why, '\t');
    all[name] = e;
  }
  return all;
}

// The UTC second of an EXIF time on a camera three hours ahead; -1 when the
// text is not a time.
int64_t utcOf(const std::string& json) {
  int y, mo, d, h, mi, s;
  if (json.size() < 21 || sscanf(json.c_str(), "\"%4d:%2d:%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6)
    return -1;
  std::tm t{};
  t.tm_year = y - 1900, t.tm_mon = mo - 1, t.tm_mday = d, t.tm_hour = h, t.tm_min = mi, t.tm_sec = s;
  return static_cast<int64_t>(timegm(&t)) - kCameraAhead;
}

std::string dayLogName(int64_t utc) {
  const time_t t = static_cast<time_t>(utc);
  std::tm g{};
  gmtime_r(&t, &g);
  char name[8];
  strftime(name, sizeof name, "%d%m%y", &g);
  return name;
}

std::string gpxOf(const std::set<int64_t>& fixes) {
  std::string gpx =
      "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
      "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>\n";
  for (int64_t utc : fixes) {
    const time_t t = static_cast<time_t>(utc);
    std::tm g{};
    gmtime_r(&t, &g);
    char when[32];
    strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &g);
    gpx += std::string("<trkpt lat=\"-48.1173\" lon=\"-11.516667\"><time>") + when + "</time></trkpt>\n";
  }
  return gpx + "</trkseg></trk></gpx>\n";
}

// What tagging may change: the file's own facts, what exiftool derives, the
// GPS group, offsets that move with their data, and the warnings (compared
// apart).
Tags comparable(Tags tags) {
  std::erase_if(tags, [](const auto& kv) {
    const std::string& k = kv.first;
    const std::string tag = k.substr(k.find(':') + 1);
    auto endsWith = [&](const char* s) {
      const std::string e(s);
      return tag.size() >= e.size() && tag.compare(tag.size() - e.size(), e.size(), e) == 0;
    };
    return k.rfind("System:", 0) == 0 || k.rfind("File:", 0) == 0 || k.rfind("Composite:", 0) == 0 ||
           k.rfind("GPS:", 0) == 0 || k.rfind("ExifTool:Warning", 0) == 0 ||
           endsWith("Offset") || endsWith("Offsets") || endsWith("Start");
  });
  return tags;
}

std::set<std::string> warnings(const Tags& tags) {
  std::set<std::string> all;
  for (const auto& [key, value] : tags)
    if (key.rfind("ExifTool:Warning", 0) == 0) all.insert(value);
  return all;
}

bool hasOurPosition(const Tags& tags) {
  auto at = tags.find("GPS:GPSLatitude");
  return at != tags.end() && at->second.rfind("48.117", 0) == 0;
}

class CameraCorpusTest : public PhotoTest {};

TEST_F(CameraCorpusTest, EveryPhotoComesOutAsExpectedWithNothingElseChanged) {
  if (!haveExiftool()) GTEST_SKIP() << "exiftool is not installed";
  const std::string dir = testDataPath("cameras/");
  const std::map<std::string, Expected> expected = expectedOutcomes(dir);
  ASSERT_FALSE(expected.empty()) << dir << "EXPECTED.tsv";

  std::vector<std::string> names, originals, copies;
  ::mkdir(image->path("original").c_str(), 0777);
  ::mkdir(image->path("exiftool").c_str(), 0777);
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == ".jpg") names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    EXPECT_TRUE(expected.count(name)) << name << " is not in EXPECTED.tsv";
    const std::string bytes = readWholeFile(dir + name);
    originals.push_back(image->path("original/" + name));
    copies.push_back(image->path("exiftool/" + name));
    writeWholeFile(originals.back(), bytes);
    writeWholeFile(copies.back(), bytes);
  }

  // A fix at each photo's time, a second after one elsewhere, in the log of
  // its UTC day; exiftool's GPX holds the same fixes.
  std::map<std::string, Tags> times;
  {
    std::string command = "exiftool -j -G1 -n -EXIF:DateTimeOriginal -DateTimeOriginal";
    for (const std::string& p : originals) command += " '" + p + "'";
    std::istringstream lines(commandOutput(command + " 2>/dev/null"));
    std::string line, file;
    while (std::getline(lines, line)) {
      if (line.find("\"SourceFile\": ") != std::string::npos) file = line.substr(line.find(": \"") + 3);
      if (!file.empty() && file.back() == ',') file.pop_back();
      if (!file.empty() && file.back() == '"') file.pop_back();
      if (line.find("DateTimeOriginal\": ") != std::string::npos) times[file][line] = line.substr(line.find("\": ") + 3);
    }
  }
  std::set<int64_t> fixes;
  for (auto& [file, found] : times)
    for (auto& [line, value] : found)
      if (int64_t utc = utcOf(value); utc >= 0) fixes.insert(utc);
  std::map<std::string, std::vector<TestRecord>> logs;
  for (int64_t utc : fixes) {
    const int32_t seconds = static_cast<int32_t>(((utc % 86400) + 86400) % 86400);
    TestRecord early = kSecondEarly, fix = kFix;
    early.seconds = seconds - 1, fix.seconds = seconds;
    if (seconds > 0 && !fixes.count(utc - 1)) logs[dayLogName(utc)].push_back(early);
    logs[dayLogName(utc)].push_back(fix);
  }
  for (auto& [day, records] : logs) writeTrackLog(*image, day, records);
  writeWholeFile(image->path("track.gpx"), gpxOf(fixes));
  commandOutput("exiftool -q -q -m -overwrite_original -geotag '" + image->path("track.gpx") +
                "' '-geotime<${DateTimeOriginal}+03:00' '" + image->path("exiftool") + "' 2>/dev/null");

  std::map<std::string, std::string> outcome;
  std::vector<std::string> read = originals;
  read.insert(read.end(), copies.begin(), copies.end());
  for (const std::string& name : names) {
    tag(readWholeFile(dir + name), name);
    outcome[name] = tagOutcomeReason(lastTagOutcome());
    read.push_back(photoFile(name));
  }
  std::map<std::string, Tags> tags = jsonTagsOf(read);

  int exiftoolTagged = 0, tagged = 0, harmed = 0;
  std::string table;
  for (size_t i = 0; i < names.size(); i++) {
    const std::string& name = names[i];
    SCOPED_TRACE(name);
    const Tags& was = tags[originals[i]];
    const Tags& ours = tags[photoFile(name)];
    const bool byExiftool = hasOurPosition(tags[copies[i]]) && !hasOurPosition(was);
    exiftoolTagged += byExiftool;
    const Expected want = expected.count(name) ? expected.at(name) : Expected{};
    table += name + "\t" + outcome[name] + "\t" + want.why + "\n";
    EXPECT_EQ(outcome[name], want.outcome);
    if (outcome[name] != "tagged") {
      EXPECT_TRUE(readWholeFile(photoFile(name)) == readWholeFile(dir + name)) << "changed though not tagged";
      EXPECT_TRUE(!byExiftool || !want.why.empty()) << "exiftool tags it: the table must say why not";
      continue;
    }
    tagged++;
    bool harm = false;
    EXPECT_TRUE(hasOurPosition(ours)) << (harm = true, "no position");
    EXPECT_EQ(ours.count("GPS:GPSLongitude") ? ours.at("GPS:GPSLongitude").substr(0, 7) : "", "11.5166");
    EXPECT_EQ(ours.count("GPS:GPSLatitudeRef") ? ours.at("GPS:GPSLatitudeRef") : "", "\"S\"");
    EXPECT_EQ(ours.count("GPS:GPSLongitudeRef") ? ours.at("GPS:GPSLongitudeRef") : "", "\"W\"");
    const Tags before = comparable(was), after = comparable(ours);
    for (const auto& [key, value] : before) {
      auto at = after.find(key);
      if (at == after.end() || at->second != value) {
        ADD_FAILURE() << key << " changed: " << value.substr(0, 80) << " -> "
                      << (at == after.end() ? "(gone)" : at->second.substr(0, 80));
        harm = true;
      }
    }
    for (const auto& [key, value] : after)
      if (!before.count(key)) ADD_FAILURE() << key << " appeared: " << value.substr(0, 80), harm = true;
    const std::set<std::string> old = warnings(was);
    for (const std::string& w : warnings(ours))
      if (!old.count(w) && w.find("[minor]") == std::string::npos) ADD_FAILURE() << "new warning " << w, harm = true;
    harmed += harm;
  }
  std::cout << "corpus: " << names.size() << " photos; exiftool tags " << exiftoolTagged << ", the tagger "
            << tagged << ", harmed " << harmed << "\n";
  if (HasFailure()) writeWholeFile(::testing::TempDir() + "camera-outcomes.tsv", table);
  EXPECT_EQ(harmed, 0);
}

}  // namespace
