// Layouts cameras write beyond the plain one, in both byte orders: no IFD1,
// values after IFD1, an uncompressed thumbnail, maker notes whose offsets are
// a few bytes off (tagged without moving a byte). Each is tagged, and
// exiftool reads every tag it had back unchanged beside the new position.
#include <sys/stat.h>

#include <functional>

#include "platform/core/byte_order.h"
#include "tests/geotag/exiftool_tags.h"
#include "tests/geotag/photo_fixture.h"
#include "tests/support/host_failure_note.h"

namespace {

class ExifLayoutsTest : public PhotoTest {};

// A maker note of the kind cameras of make "Canon" write: an IFD of strings
// kept after its table, and a serial number in its entry, with no next-IFD
// offset; the offsets count from the TIFF header but are `off` bytes short of
// where the strings lie.
std::string offsetNote(uint32_t start, int off, bool big) {
  const std::string texts[] = {std::string("IMG:PC JPEG\0", 12), std::string("Firmware 1.0\0\0\0\0", 16),
                               std::string("A. Owner\0", 9)};
  std::string n(2 + 12 * 4, '\0');
  auto put = [&](size_t at, uint32_t v, int w) {
    w == 2 ? (big ? writeBe16(&n[at], v) : writeLe16(&n[at], v)) : (big ? writeBe32(&n[at], v) : writeLe32(&n[at], v));
  };
  put(0, 4, 2);
  uint32_t value = start + static_cast<uint32_t>(n.size());
  for (int i = 0; i < 4; i++) {
    const bool text = i < 3;
    put(2 + 12 * i, text ? 6 + i + i / 2 : 0x000C, 2);  // 6, 7, 9: strings; 12: the serial number
    put(4 + 12 * i, text ? 2 : 4, 2);
    put(6 + 12 * i, text ? static_cast<uint32_t>(texts[i].size()) : 1, 4);
    put(10 + 12 * i, text ? value - off : 1234567, 4);
    if (text) value += static_cast<uint32_t>(texts[i].size());
  }
  for (const std::string& t : texts) n += t;
  return n;
}

struct Layout {
  const char* what;
  std::function<CraftSpec(bool big)> spec;
  // What exiftool does not show: where the parts went. `in` and `out` are the
  // TIFF data before and after.
  std::function<void(const std::string& in, const std::string& out, const CraftedLayout& at, bool big)> check;
};

uint32_t field32(const std::string& s, size_t at, bool big) { return big ? getBe32(s, at) : getLe32(s, at); }
uint32_t field16(const std::string& s, size_t at, bool big) { return big ? getBe16(s, at) : getLe16(s, at); }

std::vector<Layout> layouts() {
  return {
      {"the plain layout", [](bool) { return cameraSpec(kPhotoTime); }, nullptr},
      {"no IFD1: the GPS block goes at the end, IFD0 still names no next IFD",
       [](bool) {
         CraftSpec s = cameraSpec(kPhotoTime);
         s.ifd1At = ~0u;
         return s;
       },
       [](const std::string& in, const std::string& out, const CraftedLayout&, bool big) {
         EXPECT_EQ(field32(out, 10 + 12 * 5, big), 0u);
         EXPECT_EQ(field32(out, 10 + 12 * 4 + 8, big), in.size() + 12);  // the GPS pointer
         EXPECT_EQ(field16(out, in.size() + 12, big), 5u);
       }},
      {"values after IFD1 move with it",
       [](bool) {
         CraftSpec s = cameraSpec(kPhotoTime);
         s.ifd0[2] = CraftEntry{0x011A, 5, 1};
         s.exif[1] = CraftEntry{0x9286, 7, 16};
         CraftedLayout at;
         craftJpeg(s, &at);
         s.afterIfd1 = std::string("\0\0\0\x48\0\0\0\x01", 8) + std::string("ASCII\0\0\0after IFD1", 16);
         s.ifd0[2].value = at.afterIfd1;
         s.exif[1].value = at.afterIfd1 + 8;
         return s;
       },
       nullptr},
      {"an uncompressed thumbnail in two strips",
       [](bool big) {
         CraftSpec s = cameraSpec(kPhotoTime);
         s.thumbnail = "RGBRGBRGBRGB" "rgbrgbrgbrgb";
         s.ifd1 = {shortEntry(0x0103, 1), shortEntry(0x0100, 4), shortEntry(0x0101, 2),
                   shortEntry(0x0106, 2), CraftEntry{0x0111, 3, 2}, shortEntry(0x0115, 3),
                   shortEntry(0x0116, 1), CraftEntry{0x0117, 3, 2, 0x000C000Cu}};
         CraftedLayout at;
         craftJpeg(s, &at);
         const uint32_t first = at.thumbnail, second = at.thumbnail + 12;
         s.ifd1[4].value = big ? first << 16 | second : second << 16 | first;
         return s;
       },
       [](const std::string& in, const std::string& out, const CraftedLayout& at, bool big) {
         const uint32_t strips = at.ifd1 + 127 + 2 + 12 * 4 + 8;
         for (int i = 0; i < 2; i++) {
           SCOPED_TRACE(i);
           EXPECT_EQ(out.substr(field16(out, strips + 2 * i, big), 12), in.substr(at.thumbnail + 12 * i, 12));
         }
       }},
      {"a maker note whose offsets are 2 bytes short stays where it was",
       [](bool big) {
         CraftSpec s = cameraSpec(kPhotoTime);
         s.ifd0[0] = asciiEntry(0x010F, "Canon");
         s.exif.push_back(CraftEntry{0x927C, 7, 2 + 48 + 37, 0, std::string(2 + 48 + 37, '\0')});
         CraftedLayout at;
         craftJpeg(s, &at);
         s.exif[2].data = offsetNote(at.exifValue[2], 2, big);
         return s;
       },
       [](const std::string& in, const std::string& out, const CraftedLayout& at, bool big) {
         // The new IFD0 and GPS IFD after the old data, which keeps its place.
         EXPECT_EQ(out.substr(8, in.size() - 8), in.substr(8));
         EXPECT_EQ(field32(out, 4, big), in.size() + in.size() % 2);
         EXPECT_EQ(field32(out, at.exifValue[2] + 10, big), at.exifValue[2] + 50 - 2) << "still 2 short";
       }},
  };
}

TEST_F(ExifLayoutsTest, EachIsTaggedAndReadsBackWithEveryTag) {
  if (!haveExiftool()) GTEST_SKIP() << "exiftool (libimage-exiftool-perl) is not installed";
  ::mkdir(image->path("original").c_str(), 0777);
  struct Done {
    std::string what, original, tagged;
  };
  std::vector<Done> done;
  std::vector<std::string> files;
  int n = 0;
  for (bool big : {false, true}) {
    for (const Layout& l : layouts()) {
      const std::string what = std::string(l.what) + (big ? ", big-endian" : ", little-endian");
      SCOPED_TRACE(what);
      CraftSpec s = l.spec(big);
      s.bigEndian = big;
      CraftedLayout at;
      const std::string photo = craftJpeg(s, &at);
      const std::string name = "IMG_" + std::to_string(1000 + n++) + ".JPG";
      ASSERT_EQ(tag(photo, name), 0) << tagOutcomeReason(lastTagOutcome()) << hostFailureNote();
      const std::string out = readWholeFile(photoFile(name));
      const size_t tiffSize = readBe16(photo.data() + 4) - 8, grown = readBe16(out.data() + 4) - 8 - tiffSize;
      // The inserted layout but for the maker note, which nothing may move.
      EXPECT_EQ(grown, s.exif.size() > 2 ? 181u + tiffSize % 2 : 127u);
      EXPECT_EQ(out.size(), photo.size() + grown);
      if (l.check) l.check(photo.substr(12, tiffSize), out.substr(12, tiffSize + grown), at, big);
      done.push_back({what, image->path("original/" + name), photoFile(name)});
      writeWholeFile(done.back().original, photo);
      files.push_back(done.back().original);
      files.push_back(done.back().tagged);
    }
  }
  std::map<std::string, Tags> tags = tagsOf(files);
  for (const Done& d : done) {
    SCOPED_TRACE(d.what);
    Tags after = tags[d.tagged];
    EXPECT_EQ(after["[GPS]           GPSLatitude"], "55.7520583333333");
    EXPECT_EQ(after["[GPS]           GPSLongitudeRef"], "E");
    EXPECT_FALSE(tags[d.original].empty());
    EXPECT_EQ(withoutGps(after), tags[d.original]);
  }
}

}  // namespace
