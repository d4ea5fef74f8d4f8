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
#include <sstream>

#include "platform/core/byte_order.h"
#include "tests/geotag/exiftool_tags.h"
#include "tests/geotag/photo_fixture.h"
#include "tests/support/test_data.h"

namespace {

// Enough to meet the overlaps that once read back changed (values over a
// directory, a count that stretches a value over moved offsets).
constexpr int kDefaultMutants = 240;

// The photos of the manifest that come out tagged.
std::vector<std::string> taggablePhotos() {
  std::ifstream manifest(testDataPath("photos/MANIFEST.tsv"));
  std::vector<std::string> photos;
  std::string line;
  std::getline(manifest, line);
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    std::string name, expected;
    std::getline(fields, name, '\t');
    std::getline(fields, expected, '\t');
    if (expected == "tagged") photos.push_back(name);
  }
  return photos;
}

// Where the directory entries of a photo lie: IFD0, the Exif IFD, the
// interoperability IFD and IFD1, walked as a reader would.
struct Structures {
  size_t tiff = 0, size = 0;  // the TIFF data's file offset and length
  bool big = false;
  std::vector<size_t> entries;  // file offsets of 12-byte entries
  std::vector<size_t> nextFields;
  std::vector<uint32_t> tables;  // TIFF offsets of the tables
};

Structures structuresOf(const std::string& photo) {
  Structures s;
  size_t at = 2;
  for (int i = 0; i < 3 && at + 4 <= photo.size(); i++) {
    const uint32_t length = readBe16(photo.data() + at + 2);
    if (static_cast<uint8_t>(photo[at + 1]) == 0xE1) {
      s.tiff = at + 10;
      s.size = length - 8;
      break;
    }
    at += 2 + length;
  }
  if (s.tiff == 0) return s;
  s.big = photo[s.tiff] == 'M';
  auto u16 = [&](size_t p) { return s.big ? readBe16(photo.data() + p) : readLe16(photo.data() + p); };
  auto u32 = [&](size_t p) { return s.big ? readBe32(photo.data() + p) : readLe32(photo.data() + p); };
  std::vector<uint32_t> pending = {8};
  while (!pending.empty() && s.tables.size() < 8) {
    const uint32_t table = pending.back();
    pending.pop_back();
    if (table == 0 || table + 2 > s.size) continue;
    const uint32_t count = u16(s.tiff + table);
    if (table + 2 + 12 * count + 4 > s.size) continue;
    s.tables.push_back(table);
    for (uint32_t i = 0; i < count; i++) {
      const size_t e = s.tiff + table + 2 + 12 * i;
      s.entries.push_back(e);
      const uint16_t tag = u16(e);
      if (tag == 0x8769 || tag == 0xA005) pending.push_back(u32(e + 8));
    }
    s.nextFields.push_back(s.tiff + table + 2 + 12 * count);
    if (table == 8) pending.insert(pending.begin(), u32(s.nextFields.back()));
  }
  return s;
}

// One mutant of `photo`, made by `rng`.
std::string mutate(std::string photo, std::mt19937& rng, std::string* how) {
  const Structures s = structuresOf(photo);
  if (s.entries.empty()) return photo;
  auto put32 = [&](size_t p, uint32_t v) { s.big ? writeBe32(&photo[p], v) : writeLe32(&photo[p], v); };
  auto put16 = [&](size_t p, uint32_t v) { s.big ? writeBe16(&photo[p], v) : writeLe16(&photo[p], v); };
  const size_t entry = s.entries[rng() % s.entries.size()];
  std::ostringstream what;
  switch (rng() % 6) {
    case 0: {  // a flipped byte in an entry
      const size_t at = entry + rng() % 12;
      photo[at] = static_cast<char>(photo[at] ^ (1 << (rng() % 8)));
      what << "flipped byte at " << at;
      break;
    }
    case 1: {  // an offset anywhere in the TIFF data, or just past it
      const uint32_t v = static_cast<uint32_t>(rng() % (s.size + 64));
      put32(entry + 8, v);
      what << "value of entry at " << entry << " = " << v;
      break;
    }
    case 2: {  // an offset at a directory, or into one
      const uint32_t table = s.tables[rng() % s.tables.size()];
      const uint32_t v = table + static_cast<uint32_t>(rng() % 40);
      put32(entry + 8, v);
      what << "value of entry at " << entry << " = " << v << " (near the table at " << table << ")";
      break;
    }
    case 3: {  // a count a little off, or wild
      const uint32_t choices[] = {0, 1, 2, 5, 9, 100, 70000, 0x40000000, static_cast<uint32_t>(rng())};
      const uint32_t v = choices[rng() % 9];
      put32(entry + 4, v);
      what << "count of entry at " << entry << " = " << v;
      break;
    }
    case 4: {  // another type
      const uint32_t v = 1 + rng() % 13;
      put16(entry + 2, v);
      what << "type of entry at " << entry << " = " << v;
      break;
    }
    default: {  // a next-IFD offset anywhere
      const size_t field = s.nextFields[rng() % s.nextFields.size()];
      const uint32_t v = static_cast<uint32_t>(rng() % (s.size + 64));
      put32(field, v);
      what << "next-IFD offset at " << field << " = " << v;
      break;
    }
  }
  *how = what.str();
  return photo;
}

class DamagedPhotosTest : public PhotoTest {};

TEST_F(DamagedPhotosTest, AreLeftAloneOrTaggedWithEveryTagKept) {
  if (!haveExiftool()) GTEST_SKIP() << "exiftool (libimage-exiftool-perl) is not installed";
  const char* env = getenv("VT_MUTANTS");
  const int mutants = env ? atoi(env) : kDefaultMutants;
  const std::vector<std::string> photos = taggablePhotos();
  ASSERT_FALSE(photos.empty());

  // Every second of each photo's day has a fix, so that a mutant whose date
  // still reads is tagged whenever its structures allow.
  std::map<std::string, std::string> originals;
  for (const std::string& p : photos) originals[p] = readWholeFile(testDataPath("photos/" + p));
  ::mkdir(image->path("original").c_str(), 0777);
  std::vector<TestRecord> day;
  for (int32_t sec = 0; sec < 86400; sec++) day.push_back({sec, 5545.1234f, 'N', 3737.5678f, 'E'});
  std::vector<std::string> paths;
  for (const std::string& p : photos) paths.push_back(testDataPath("photos/" + p));
  for (auto& [path, t] : tagsOf(paths))
    for (auto& [key, value] : t)
      if (key.find("DateTimeOriginal") != std::string::npos && value.size() >= 10)
        writeTrackLog(*image, value.substr(8, 2) + value.substr(5, 2) + value.substr(2, 2), day);

  struct Mutant {
    std::string how, original, tagged;
  };
  std::vector<Mutant> tagged;
  std::vector<std::string> files;
  std::map<std::string, int> reasons;
  for (int k = 0; k < mutants; k++) {
    std::mt19937 rng(20261209u + static_cast<uint32_t>(k));
    const std::string& photo = photos[k % photos.size()];
    std::string how;
    const std::string mutant = mutate(originals[photo], rng, &how);
    const std::string name = "M" + std::to_string(k) + ".JPG";
    SCOPED_TRACE("mutant " + std::to_string(k) + " of " + photo + ": " + how);
    if (tag(mutant, name) != 0) {
      EXPECT_TRUE(readWholeFile(photoFile(name)) == mutant) << tagOutcomeReason(lastTagOutcome());
      reasons[tagOutcomeReason(lastTagOutcome())]++;
      continue;
    }
    tagged.push_back({"mutant " + std::to_string(k) + " of " + photo + ": " + how,
                      image->path("original/" + name), photoFile(name)});
    writeWholeFile(tagged.back().original, mutant);
    files.push_back(tagged.back().original);
    files.push_back(tagged.back().tagged);
  }
  std::map<std::string, Tags> tags = tagsOf(files);
  int changed = 0;
  for (const Mutant& m : tagged) {
    SCOPED_TRACE(m.how);
    Tags after = tags[m.tagged];
    EXPECT_EQ(after["[GPS]           GPSLatitude"], "55.7520583333333");
    const bool same = withoutGps(after) == tags[m.original];
    EXPECT_TRUE(same) << "a tag reads back changed";
    changed += !same;
  }
  std::string alone;
  for (auto& [reason, count] : reasons) alone += " " + reason + " " + std::to_string(count);
  printf("%d mutants: %zu tagged (%d with a tag changed); left alone:%s\n", mutants, tagged.size(), changed,
         alone.c_str());
}

}  // namespace
