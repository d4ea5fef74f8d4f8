// Real camera photos (tests/data/photos): each comes out as its
// manifest says, and exiftool, reading independently, finds the tagged ones'
// GPS position and every tag they had, the thumbnail included, unchanged.
#include <algorithm>
#include <cstdio>
#include <initializer_list>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "tests/support/device_image_fixture.h"
#include "tests/geotag/exiftool_tags.h"
#include "tests/geotag/photo_fixture.h"
#include "tests/support/test_data.h"
#include "tests/support/host_failure_note.h"
#include "tests/support/nmea_capture.h"

namespace {

std::string run(const std::string& command) { return commandOutput(command); }

class CameraPhotosTest : public PhotoTest {};

TEST_F(CameraPhotosTest, EachComesOutAsTheManifestSays) {
  const std::string dir = testDataPath("photos/");
  std::ifstream manifest(dir + "MANIFEST.tsv");
  ASSERT_TRUE(manifest) << dir << "MANIFEST.tsv";
  std::string line;
  std::getline(manifest, line);  // header
  struct Photo {
    std::string name, expected, reason;
  };
  std::vector<Photo> photos;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    Photo p;
    std::getline(fields, p.name, '\t');
    std::getline(fields, p.expected, '\t');
    std::getline(fields, p.reason, '\t');
    photos.push_back(p);
  }
  ASSERT_FALSE(photos.empty());

  // A fix at each photo's time less three hours, in the log of its day, after
  // one that is out of the tolerance.
  ::mkdir(image->path("original").c_str(), 0777);
  std::vector<std::string> originals;
  for (const Photo& p : photos) {
    originals.push_back(image->path("original/" + p.name));
    writeWholeFile(originals.back(), readWholeFile(dir + p.name));
  }
  std::map<std::string, Tags> before = tagsOf(originals);
  std::map<std::string, std::vector<TestRecord>> logs;
  for (size_t i = 0; i < photos.size(); i++) {
    std::string dt;
    for (auto& [key, value] : before[originals[i]])
      if (key.find("DateTimeOriginal") != std::string::npos) dt = value;
    if (dt.size() < 19) continue;
    int s = std::stoi(dt.substr(11, 2)) * 3600 + std::stoi(dt.substr(14, 2)) * 60 + std::stoi(dt.substr(17, 2));
    auto& day = logs[dt.substr(8, 2) + dt.substr(5, 2) + dt.substr(2, 2)];
    day.push_back({s - 10800 - 5});
    day.push_back({s - 10800 + 1, 4807.038f, 'S', 1131.0f, 'W'});
  }
  for (auto& [day, records] : logs) writeTrackLog(*image, day, records);

  std::vector<std::string> tagged, taggedOriginals;
  for (size_t i = 0; i < photos.size(); i++) {
    SCOPED_TRACE(photos[i].name + " " + photos[i].reason);
    const std::string original = readWholeFile(originals[i]);
    int result = tag(original, photos[i].name);
    if (photos[i].expected == "unchanged") {
      EXPECT_NE(result, 0);
      expectUntouched(original, photos[i].name);
      continue;
    }
    ASSERT_EQ(result, 0) << tagOutcomeReason(lastTagOutcome()) << hostFailureNote();
    tagged.push_back(photoFile(photos[i].name));
    taggedOriginals.push_back(originals[i]);
  }
  ASSERT_EQ(tagged.size(), static_cast<size_t>(std::count_if(photos.begin(), photos.end(), [](const Photo& p) {
              return p.expected == "tagged";
            })));
  ASSERT_GE(tagged.size(), 10u);

  std::map<std::string, Tags> after = tagsOf(tagged);
  for (size_t i = 0; i < tagged.size(); i++) {
    SCOPED_TRACE(tagged[i]);
    Tags got = after[tagged[i]];
    EXPECT_EQ(got["[GPS]           GPSLatitude"], "48.1173016666667");
    EXPECT_EQ(got["[GPS]           GPSLongitude"], "11.5166666666667");
    EXPECT_EQ(got["[GPS]           GPSLatitudeRef"], "S");
    EXPECT_EQ(got["[GPS]           GPSLongitudeRef"], "W");
    EXPECT_EQ(got["[GPS]           GPSVersionID"], "2 2 0 0");
    EXPECT_EQ(withoutGps(got), withoutGps(before[taggedOriginals[i]]));
  }
  // The thumbnails still extract, and are the same.
  std::string command = "exiftool -q -q -b -ThumbnailImage -w %d%f.thumb";
  for (size_t i = 0; i < tagged.size(); i++) command += " '" + tagged[i] + "' '" + taggedOriginals[i] + "'";
  run(command);
  for (size_t i = 0; i < tagged.size(); i++) {
    auto thumbOf = [](const std::string& p) { return readWholeFile(p.substr(0, p.rfind('.')) + ".thumb"); };
    const std::string thumbnail = thumbOf(tagged[i]), was = thumbOf(taggedOriginals[i]);
    if (was.empty()) continue;  // a photo without IFD1 has no thumbnail
    EXPECT_EQ(thumbnail.substr(0, 2), "\xFF\xD8") << tagged[i];
    EXPECT_TRUE(thumbnail == was) << tagged[i];
  }
}

}  // namespace
