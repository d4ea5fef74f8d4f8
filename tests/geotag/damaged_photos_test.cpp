// Damaged photos: mutants of the real camera photos (a flipped byte in a
// directory entry, a wild offset, count or type, a next-IFD offset anywhere)
// are either left byte for byte as they were, or tagged so that exiftool
// reads every tag they had back unchanged. The mutants come from a fixed
// seed, so a failure names a mutant that can be made again.
// VT_MUTANTS sets how many (bench/damaged_photos.sh runs 400).
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <random>

#include "platform/core/byte_order.h"
#include "tests/geotag/exiftool_tags.h"
#include "tests/geotag/photo_fixture.h"
#include "tests/support/test_data.h"

namespace {

// Few enough for every run, and enough to meet a value stretched over moved
// offsets (mutant 39, which read back changed before such photos were left
// alone); the full 400 meet three.
constexpr int kDefaultMutants = 120;

// The photos of the manifest that come out tagged.
std::vector<std::string> taggablePhotos() {
  std::ifstream manifest(testDataPath("photos/MANIFEST.tsv"));
  std::vector<std::string> photos;
  for (std::string line; std::getline(manifest, line);)
    if (line.find("\ttagged\t") != std::string::npos) photos.push_back(line.substr(0, line.find('\t')));
  return photos;
}

// Where a photo's directories lie, walked as a reader would: IFD0, the Exif
// and interoperability IFDs, IFD1. Positions are file offsets, tables TIFF
// offsets.
struct Structures {
  size_t tiff = 0, size = 0;
  bool big = false;
  std::vector<size_t> entries, nextFields;
  std::vector<uint32_t> tables;
};

Structures structuresOf(const std::string& photo) {
  Structures s;
  for (size_t at = 2, i = 0; i < 3 && at + 4 <= photo.size(); i++, at += 2 + readBe16(&photo[at + 2]))
    if (static_cast<uint8_t>(photo[at + 1]) == 0xE1) {
      s.tiff = at + 10;
      s.size = readBe16(&photo[at + 2]) - 8;
      break;
    }
  if (s.tiff == 0) return s;
  s.big = photo[s.tiff] == 'M';
  auto u16 = [&](size_t p) { return s.big ? readBe16(&photo[p]) : readLe16(&photo[p]); };
  auto u32 = [&](size_t p) { return s.big ? readBe32(&photo[p]) : readLe32(&photo[p]); };
  std::vector<uint32_t> pending = {8};
  while (!pending.empty() && s.tables.size() < 8) {
    const uint32_t table = pending.back();
    pending.pop_back();
    if (table == 0 || table + 2 > s.size || table + 6 + 12 * u16(s.tiff + table) > s.size) continue;
    const uint32_t count = u16(s.tiff + table);
    s.tables.push_back(table);
    for (uint32_t i = 0; i < count; i++) {
      s.entries.push_back(s.tiff + table + 2 + 12 * i);
      if (u16(s.entries.back()) == 0x8769 || u16(s.entries.back()) == 0xA005) pending.push_back(u32(s.entries.back() + 8));
    }
    s.nextFields.push_back(s.tiff + table + 2 + 12 * count);
    if (table == 8) pending.insert(pending.begin(), u32(s.nextFields.back()));
  }
  return s;
}

// One mutant of `photo`: a field of a directory entry, or a next-IFD offset,
// set to what damage or a careless writer leaves there.
std::string mutate(std::string photo, std::mt19937& rng, std::string* how) {
  const Structures s = structuresOf(photo);
  if (s.entries.empty()) return photo;
  const size_t entry = s.entries[rng() % s.entries.size()];
  const uint32_t anywhere = static_cast<uint32_t>(rng() % (s.size + 64));
  const uint32_t nearTable = s.tables[rng() % s.tables.size()] + static_cast<uint32_t>(rng() % 40);
  const uint32_t counts[] = {0, 1, 2, 5, 9, 100, 70000, 0x40000000, static_cast<uint32_t>(rng())};
  const struct {
    const char* what;
    size_t at;
    int width;  // 0: flip the bit `value` of one byte
    uint32_t value;
  } choices[] = {
      {"value", entry + 8, 4, anywhere},
      {"value near a table", entry + 8, 4, nearTable},
      {"count", entry + 4, 4, counts[rng() % 9]},
      {"type", entry + 2, 2, static_cast<uint32_t>(1 + rng() % 13)},
      {"next-IFD offset", s.nextFields[rng() % s.nextFields.size()], 4, anywhere},
      {"flipped bit", entry + rng() % 12, 0, 1u << (rng() % 8)},
  };
  const auto& c = choices[rng() % 6];
  if (c.width == 0) photo[c.at] = static_cast<char>(photo[c.at] ^ c.value);
  else if (c.width == 2) s.big ? writeBe16(&photo[c.at], c.value) : writeLe16(&photo[c.at], c.value);
  else s.big ? writeBe32(&photo[c.at], c.value) : writeLe32(&photo[c.at], c.value);
  *how = std::string(c.what) + " at " + std::to_string(c.at) + " = " + std::to_string(c.value);
  return photo;
}

class DamagedPhotosTest : public PhotoTest {};

TEST_F(DamagedPhotosTest, AreLeftAloneOrTaggedWithEveryTagKept) {
  if (!haveExiftool()) GTEST_SKIP() << "exiftool (libimage-exiftool-perl) is not installed";
  const int mutants = getenv("VT_MUTANTS") ? atoi(getenv("VT_MUTANTS")) : kDefaultMutants;
  std::vector<std::string> photos = taggablePhotos();
  ASSERT_FALSE(photos.empty());
  for (std::string& p : photos) p = testDataPath("photos/" + p);

  // Every second of each photo's day has a fix, so that a mutant whose date
  // still reads is tagged whenever its structures allow.
  std::vector<TestRecord> day;
  for (int32_t sec = 0; sec < 86400; sec++) day.push_back({sec});
  for (auto& [path, t] : tagsOf(photos))
    for (auto& [key, v] : t)
      if (key.find("DateTimeOriginal") != std::string::npos && v.size() >= 10)
        writeTrackLog(*image, v.substr(8, 2) + v.substr(5, 2) + v.substr(2, 2), day);

  ::mkdir(image->path("original").c_str(), 0777);
  std::vector<std::string> tagged, files;  // what each tagged mutant is; its files
  std::map<std::string, int> reasons;
  for (int k = 0; k < mutants; k++) {
    std::mt19937 rng(20261209u + static_cast<uint32_t>(k));
    const std::string& photo = photos[k % photos.size()];
    std::string how;
    const std::string mutant = mutate(readWholeFile(photo), rng, &how);
    const std::string name = "M" + std::to_string(k) + ".JPG";
    how = "mutant " + std::to_string(k) + " of " + photo.substr(photo.rfind('/') + 1) + ": " + how;
    SCOPED_TRACE(how);
    if (tag(mutant, name) != 0) {
      EXPECT_TRUE(readWholeFile(photoFile(name)) == mutant) << tagOutcomeReason(lastTagOutcome());
      reasons[tagOutcomeReason(lastTagOutcome())]++;
      continue;
    }
    tagged.push_back(how);
    files.push_back(image->path("original/" + name));
    writeWholeFile(files.back(), mutant);
    files.push_back(photoFile(name));
  }
  std::map<std::string, Tags> tags = tagsOf(files);
  int changed = 0;
  for (size_t i = 0; i < tagged.size(); i++) {
    SCOPED_TRACE(tagged[i]);
    Tags after = tags[files[2 * i + 1]];
    EXPECT_EQ(after["[GPS]           GPSLatitude"], "55.7520583333333");
    const Tags now = withoutGps(after), was = withoutGps(tags[files[2 * i]]);
    const bool same = now == was;
    std::string diff;
    for (auto& [key, v] : was)
      if (!now.count(key) || now.at(key) != v) diff += "\n  " + key + ": " + v + " -> " + (now.count(key) ? now.at(key) : "(gone)");
    for (auto& [key, v] : now)
      if (!was.count(key)) diff += "\n  " + key + ": (new) " + v;
    EXPECT_TRUE(same) << "a tag reads back changed:" << diff;
    changed += !same;
  }
  std::string alone;
  for (auto& [reason, count] : reasons) alone += " " + reason + " " + std::to_string(count);
  printf("%d mutants: %zu tagged (%d with a tag changed); left alone:%s\n", mutants, tagged.size(), changed,
         alone.c_str());
}

}  // namespace
