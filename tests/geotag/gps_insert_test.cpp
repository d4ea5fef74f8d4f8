#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/core/byte_order.h"
#include "platform/core/host_calls.h"
#include "card/photo_discovery.h"
#include "platform/kernel/files.h"

#include "tests/geotag/photo_fixture.h"
#include "tests/support/host_failure_note.h"

namespace {

class GpsInsertTest : public PhotoTest {};

// A read of the photo's body, after its header: of a file of the photo's
// size (the copy is longer, the day log another size), from a position past
// the header's first reads and short of its end.
size_t photoBytes;
bool readsPhotoBody(int fd) {
  struct stat st;
  const off_t at = realHostCalls().lseek(fd, 0, SEEK_CUR);
  return fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) == photoBytes && at > 64 && at < st.st_size;
}

// The layout of a camera photo with ten IFD0 entries in tag order, the Exif
// IFD at 240 with twenty, and IFD1 at 1000.
CraftSpec workedLayout() {
  CraftSpec s;
  s.ifd0 = {shortEntry(0x0100, 640),       shortEntry(0x0101, 480),       shortEntry(0x0103, 6),
            asciiEntry(0x010F, "Maker"),   shortEntry(0x0112, 6),         rationalEntry(0x011A, 72, 1),
            shortEntry(0x0128, 2),         asciiEntry(0x0131, "v1."),     shortEntry(0x0213, 1),
            exifPointer()};
  s.exifAt = 240;
  s.exif.push_back(asciiEntry(0x9003, kPhotoTime));
  for (int i = 1; i < 20; i++) s.exif.push_back(shortEntry(static_cast<uint16_t>(i < 11 ? 0x9200 + i : 0xA3F8 + i), i));
  s.ifd1At = 1000;
  s.ifd1 = {rationalEntry(0x011A, 72, 1), CraftEntry{0x0201, 4, 1}, CraftEntry{0x0202, 4, 1}};
  return s;
}

TEST_F(GpsInsertTest, TheWorkedLayoutComesOutAsDesigned) {
  CraftedLayout at;
  const std::string photo = craftJpeg(workedLayout(), &at);
  ASSERT_EQ(at.exifIfd, 240u);
  ASSERT_EQ(at.ifd1, 1000u);
  ASSERT_EQ(tag(photo), 0) << tagOutcomeReason(lastTagOutcome()) << hostFailureNote();
  const std::string out = readWholeFile(photoFile());
  ASSERT_EQ(out.size(), photo.size() + 127);
  EXPECT_EQ(std::string(shared.exifDateTime), kPhotoTime);

  // APP1 right after FF D8: its length field at 4, the TIFF data at 12; the
  // length grows by 127.
  EXPECT_EQ(out.substr(0, 4), photo.substr(0, 4));
  EXPECT_EQ(readBe16(out.data() + 4), readBe16(photo.data() + 4) + 127);
  const std::string in = photo.substr(12), t = out.substr(12);
  auto entry = [&](const std::string& s, uint32_t ifd, int i) { return s.substr(ifd + 2 + 12 * i, 12); };

  EXPECT_EQ(getLe16(t, 8), 11u);
  EXPECT_EQ(entry(t, 8, 10), std::string("\x25\x88\x04\x00\x01\x00\x00\x00\xF4\x03\x00\x00", 12));
  EXPECT_EQ(t.substr(8 + 2 + 12 * 11, 4), std::string("\x67\x04\x00\x00", 4));
  EXPECT_EQ(getLe32(t, 8 + 2 + 12 * 9 + 8), 252u);             // Exif IFD pointer
  EXPECT_EQ(getLe32(t, 10 + 12 * 3 + 8), at.ifd0Value[3] + 12);  // Make, ASCII of 6
  EXPECT_EQ(getLe32(t, 10 + 12 * 5 + 8), at.ifd0Value[5] + 12);  // XResolution
  EXPECT_EQ(entry(t, 8, 7), entry(in, 8, 7));                   // ASCII of 4, in its entry
  EXPECT_EQ(entry(t, 8, 4), entry(in, 8, 4));                   // Orientation
  // What lies between IFD0 and the Exif IFD (IFD0's values, 106 bytes) and
  // from the end of the Exif IFD's entries to IFD1 (518 bytes) moves unchanged.
  EXPECT_EQ(t.substr(134 + 12, 106), in.substr(134, 106));
  EXPECT_EQ(t.substr(240 + 12 + 2 + 240, 518), in.substr(240 + 2 + 240, 518));
  EXPECT_EQ(getLe16(t, 252), 20u);
  EXPECT_EQ(getLe32(t, 252 + 2 + 8), at.exifValue[0] + 12);     // DateTimeOriginal
  // The GPS block in front of the old IFD1, after the new entry (1000 + 12),
  // its rationals at 1078 and 1102.
  EXPECT_EQ(getLe16(t, 1012), 5u);
  EXPECT_EQ(getLe32(t, 1012 + 2 + 24 + 8), 1078u);
  EXPECT_EQ(getLe32(t, 1012 + 2 + 48 + 8), 1102u);
  EXPECT_EQ(t[1012 + 22], 'N');
  EXPECT_EQ(getLe32(t, 1078), 55u);
  EXPECT_EQ(getLe32(t, 1078 + 8), 451235u);
  EXPECT_EQ(getLe32(t, 1102), 37u);
  EXPECT_EQ(getLe32(t, 1102 + 8), 375679u);
  // IFD1 at 1127 with its resolution and thumbnail offsets moved by 127.
  EXPECT_EQ(getLe32(t, 1127 + 2 + 8), at.ifd1Value[0] + 127);
  EXPECT_EQ(getLe32(t, 1127 + 2 + 12 + 8), at.thumbnail + 127);
  EXPECT_EQ(t.substr(at.thumbnail + 127), in.substr(at.thumbnail));

  // A second pass finds the GPS pointer and changes nothing.
  EXPECT_EQ(insertGpsIfd(photoName().c_str()), -1);
  EXPECT_EQ(lastTagOutcome(), TagOutcome::AlreadyGeotagged);
  expectUntouched(out);
}

// The EXIF APP1 is looked for among every segment before the image data,
// after an APP1 of other data (XMP) too, with any identifier a reader takes.
TEST_F(GpsInsertTest, TheExifApp1IsFoundAmongAllSegmentsBeforeTheImage) {
  const std::string app0("\xFF\xE0\x00\x10JFIF\0\x01\x02\x00\x00\x01\x00\x01\x00\x00", 18);
  const std::string app2("\xFF\xE2\x00\x06zzzz", 8);
  const std::string xmp("\xFF\xE1\x00\x1Dhttp://ns.adobe.com/xap/1.0/\0", 31);
  const std::string sos("\xFF\xDA\x00\x02", 4);
  CraftedLayout at;
  CraftSpec s = cameraSpec(kPhotoTime);
  craftJpeg(s, &at);  // offsets in the TIFF data do not depend on what precedes APP1
  const struct {
    const char* what;
    std::string before;
    bool tagged;
  } cases[] = {
      {"APP1 first", "", true},
      {"APP1 second", app0, true},
      {"APP1 third", app0 + app2, true},
      {"APP1 fifth", app0 + app2 + app2 + app2, true},
      {"after an XMP APP1", app0 + xmp, true},
      {"after the start of scan", app0 + sos, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    s.before = c.before;
    const std::string photo = craftJpeg(s);
    if (!c.tagged) {
      EXPECT_EQ(tag(photo), 1);
      EXPECT_EQ(lastTagOutcome(), TagOutcome::NoApp1);
      expectUntouched(photo);
      continue;
    }
    ASSERT_EQ(tag(photo), 0) << tagOutcomeReason(lastTagOutcome());
    const std::string out = readWholeFile(photoFile());
    EXPECT_EQ(out.size(), photo.size() + 127);
    // Start of image and the segments before APP1 stay; the TIFF data
    // starts after APP1's marker, length and EXIF identifier.
    const size_t tiff = 2 + c.before.size() + 2 + 2 + 6;
    EXPECT_EQ(out.substr(0, 2 + c.before.size()), photo.substr(0, 2 + c.before.size()));
    EXPECT_EQ(getLe16(out, tiff + at.ifd1 + 12), 5u) << "the GPS block in front of the old IFD1";
  }
}

TEST_F(GpsInsertTest, TheLengthFieldIsWrittenHighByteFirst) {
  CraftSpec s = cameraSpec(kPhotoTime);
  std::string photo = craftJpeg(s);
  // Pad the thumbnail until APP1 is 0x1234 long.
  size_t length = readBe16(photo.data() + 4);
  s.thumbnail += std::string(0x1234 - length, 'x');
  photo = craftJpeg(s);
  ASSERT_EQ(photo.substr(4, 2), "\x12\x34");
  ASSERT_EQ(tag(photo), 0);
  EXPECT_EQ(readWholeFile(photoFile()).substr(0, 6), std::string("\xFF\xD8\xFF\xE1\x12\xB3", 6));
}

TEST_F(GpsInsertTest, ALargePhotoIsCopiedWhole) {
  CraftSpec s = cameraSpec(kPhotoTime);
  std::string scan;
  for (int i = 0; i < 2 * 1024 * 1024; i++) scan += static_cast<char>(i * 7 + i / 251);
  s.scan = std::string("\xFF\xDA\x00\x02", 4) + scan + "\xFF\xD9";
  std::string photo = craftJpeg(s);
  ASSERT_EQ(tag(photo), 0);
  std::string out = readWholeFile(photoFile());
  ASSERT_EQ(out.size(), photo.size() + 127);
  EXPECT_EQ(out.substr(out.size() - s.scan.size()), s.scan);
}

// Photos the geotagger does not understand, or that have nothing to tag,
// stay byte for byte as they were.
TEST_F(GpsInsertTest, PhotosOutsideTheLayoutAreLeftAlone) {
  struct Case {
    const char* what;
    std::string photo;
    int result;
    TagOutcome outcome;
  };
  auto with = [](auto change) {
    CraftSpec s = cameraSpec(kPhotoTime);
    change(s);
    return craftJpeg(s);
  };
  const std::string good = craftJpeg(cameraSpec(kPhotoTime));
  std::string ifd0At10 = good;
  ifd0At10[12 + 4] = 10;
  std::string notExif = good;
  notExif[6] = 'X';
  ASSERT_EQ(tag(good), 0);
  const std::string tagged = readWholeFile(photoFile());
  const size_t goodLength = readBe16(good.data() + 4);
  std::string tooLong = with([&](CraftSpec& s) { s.thumbnail += std::string(65409 - goodLength, 't'); });
  std::vector<Case> cases = {
      {"empty", "", 1, TagOutcome::NotJpeg},
      {"one byte", "\xFF", 1, TagOutcome::NotJpeg},
      {"not a JPEG", "GIF89a....", 1, TagOutcome::NotJpeg},
      {"IFD0 among its own entries", ifd0At10, 1, TagOutcome::Truncated},
      {"not Exif", notExif, 1, TagOutcome::NotExif},
      {"no Exif IFD", with([](CraftSpec& s) { s.ifd0.pop_back(); }), -1, TagOutcome::NoExifIfd},
      {"no DateTimeOriginal", with([](CraftSpec& s) { s.exif.erase(s.exif.begin()); }), -1,
       TagOutcome::NoDateTimeOriginal},
      {"already tagged", tagged, -1, TagOutcome::AlreadyGeotagged},
      {"no fix", craftJpeg(cameraSpec("2010:06:05 14:30:10")), -1, TagOutcome::NoMatchingFix},
      {"no log", craftJpeg(cameraSpec("2010:06:06 14:30:07")), -1, TagOutcome::NoMatchingFix},
      {"APP1 too long", tooLong, 1, TagOutcome::App1TooLong},
      {"truncated in APP1", good.substr(0, 60), 1, TagOutcome::Truncated},
      {"truncated in the markers", good.substr(0, 3), 1, TagOutcome::Truncated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(tag(c.photo), c.result);
    EXPECT_EQ(lastTagOutcome(), c.outcome) << tagOutcomeReason(lastTagOutcome());
    expectUntouched(c.photo);
  }
  EXPECT_EQ(insertGpsIfd(photoName("missing.jpg").c_str()), 1);
  EXPECT_EQ(lastTagOutcome(), TagOutcome::CannotOpen);
  // A FIFO or a link named like a photo is skipped at once, and says why.
  ASSERT_EQ(0, mkfifo(photoFile("FIFO.JPG").c_str(), 0600));
  ASSERT_EQ(0, symlink(photoFile("missing.jpg").c_str(), photoFile("LINK.JPG").c_str()));
  for (const char* name : {"FIFO.JPG", "LINK.JPG"}) {
    EXPECT_EQ(insertGpsIfd(photoName(name).c_str()), 1) << name;
    EXPECT_EQ(lastTagOutcome(), TagOutcome::NotAFile) << name;
  }
}

// Damaged or hostile structures: the geotagger reads nothing outside what the
// file holds, follows no directory twice, and leaves the photo as it was.
TEST_F(GpsInsertTest, HostileStructuresAreRefusedSafely) {
  const std::string good = craftJpeg(cameraSpec(kPhotoTime));
  CraftedLayout at;
  craftJpeg(cameraSpec(kPhotoTime), &at);
  const size_t tiffStart = 12;  // APP1 right after the start of image
  auto patched = [&](size_t tiffOffset, uint32_t v, int bytes = 4) {
    std::string s = good;
    if (bytes == 2) putLe16(s, tiffStart + tiffOffset, v); else putLe32(s, tiffStart + tiffOffset, v);
    return s;
  };
  const uint32_t ifd0Next = 10 + 12 * 4, ifd1Next = at.ifd1 + 2 + 12 * 3;
  std::vector<std::pair<const char*, std::string>> cases = {
      {"huge IFD0 count", patched(8, 0xFFFF, 2)},
      {"IFD0 count past APP1", patched(8, 300, 2)},
      {"Exif IFD past the end", patched(10 + 12 * 3 + 8, 0xFFFFFFF0)},
      {"IFD1 past the end", patched(ifd0Next, 0x7FFFFFFF)},
      {"IFD1 is IFD0", patched(ifd0Next, 8)},
      {"IFD1 points at itself", patched(ifd1Next, at.ifd1)},
      {"IFD1 points back at the Exif IFD", patched(ifd1Next, at.exifIfd)},
      {"value offset wraps", patched(10 + 24 + 8, 0xFFFFFFFC)},
      {"count makes the value huge", patched(10 + 24 + 4, 0x20000000)},
      {"DateTimeOriginal past the end", patched(at.exifIfd + 2 + 8, at.thumbnail + 60)},
      {"thumbnail past the end", patched(at.ifd1 + 2 + 12 + 8, 0xFFFFFF00)},
      {"APP1 length 1", [&] { std::string s = good; s[4] = 0; s[5] = 1; return s; }()},
  };
  for (auto& [what, photo] : cases) {
    SCOPED_TRACE(what);
    EXPECT_NE(tag(photo), 0);
    expectUntouched(photo);
  }
}

// A power cut leaves the tagged copy behind. It is no photo: the card's
// photos are all still listed and tagged, the copy is removed by the next
// rewrite or when the card is next looked at, and a person's temp.jpg (the
// name of old) is tagged like any other photo, never taken for a leftover.
TEST_F(GpsInsertTest, ACopyLeftByAPowerCutNeverBlocksTheCard) {
  const std::string photo = craftJpeg(cameraSpec(kPhotoTime));
  const std::string leftover = photo.substr(0, photo.size() / 2);
  writeWholeFile(tempFile(), leftover);
  writeWholeFile(image->path("SDMMC/DCIM/temp.jpg"), photo);
  writeWholeFile(photoFile(), photo);
  discoverPhotos();
  EXPECT_EQ(shared.photoCount.load(), 2);
  EXPECT_FALSE(fileExists(tempFile()));

  writeWholeFile(tempFile(), leftover);
  EXPECT_EQ(insertGpsIfd(u"\\SDMMC\\DCIM\\temp.jpg"), 0) << tagOutcomeReason(lastTagOutcome());
  EXPECT_EQ(readWholeFile(image->path("SDMMC/DCIM/temp.jpg")).size(), photo.size() + 127);
  EXPECT_EQ(tag(photo), 0) << tagOutcomeReason(lastTagOutcome());
  EXPECT_FALSE(fileExists(tempFile()));
}

// A card pulled while its photo is copied: the rename finds no copy to move.
// The photo is not tagged, and is whole when the card comes back; the copy
// left on it goes when the card is looked at.
TEST_F(GpsInsertTest, ACardPulledMidCopyIsNotCountedTagged) {
  const std::string photo = craftJpeg(cameraSpec(kPhotoTime));
  writeWholeFile(photoFile(), photo);
  static std::string card, pulled;
  card = image->path("SDMMC");
  pulled = image->path("SDMMC-out");
  {
    HostCallsOverride guard;
    photoBytes = photo.size();
    hostCalls().read = [](int fd, void* b, size_t n) {
      if (readsPhotoBody(fd)) ::rename(card.c_str(), pulled.c_str());
      return realHostCalls().read(fd, b, n);
    };
    EXPECT_NE(insertGpsIfd(photoName().c_str()), 0);
  }
  EXPECT_EQ(lastTagOutcome(), TagOutcome::WriteFailed);
  ASSERT_EQ(::rename(pulled.c_str(), card.c_str()), 0);
  EXPECT_TRUE(readWholeFile(photoFile()) == photo);
  discoverPhotos();
  EXPECT_EQ(shared.photoCount.load(), 1);
  EXPECT_FALSE(fileExists(tempFile()));
}

// A protected photo, and a fix whose hemisphere letters are no position
// (a NUL from an empty field, line noise), are skipped with their reason and
// leave the photo byte for byte, and a protected one still read-only.
TEST_F(GpsInsertTest, PhotosThatMustNotBeWrittenAreSkippedWithTheirReason) {
  const std::string photo = craftJpeg(cameraSpec(kPhotoTime));
  struct Case {
    const char* what;
    bool readOnly;
    char latRef, lonRef;
    const char* reason;
  } cases[] = {
      {"protected by the camera", true, 'N', 'E', "read-only"},
      {"no latitude letter", false, '\0', 'E', "invalid-fix"},
      {"longitude letter where latitude's goes", false, 'E', 'E', "invalid-fix"},
      {"line noise for longitude", false, 'S', '#', "invalid-fix"},
      {"a latitude letter for longitude", false, 'S', 'N', "invalid-fix"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeTrackLog(*image, "050610", {{41407, 5545.1234f, c.latRef, 3737.5678f, c.lonRef}});
    writeWholeFile(photoFile(), photo);
    ::chmod(photoFile().c_str(), c.readOnly ? 0444 : 0644);
    EXPECT_NE(insertGpsIfd(photoName().c_str()), 0);
    EXPECT_STREQ(tagOutcomeReason(lastTagOutcome()), c.reason);
    expectUntouched(photo);
    struct stat st;
    ASSERT_EQ(::stat(photoFile().c_str(), &st), 0);
    EXPECT_EQ((st.st_mode & 0222) == 0, c.readOnly);
  }
  // The layer, as CE, never lets a rename replace a read-only file.
  ::chmod(photoFile().c_str(), 0444);
  writeWholeFile(tempFile(), "x");
  EXPECT_FALSE(MoveFileExW(u"\\SDMMC\\DCIM\\vellumtrace-tagging.tmp", photoName().c_str(),
                           MOVEFILE_REPLACE_EXISTING));
  EXPECT_TRUE(readWholeFile(photoFile()) == photo);
  ::chmod(photoFile().c_str(), 0644);
}

// Every way the copy can fail before the rename leaves the photo, of either
// byte order, as it was and no temporary file behind.
TEST_F(GpsInsertTest, WriteFailuresNeverCostThePhoto) {
  const std::string photo = craftJpeg(cameraSpec(kPhotoTime));
  CraftSpec bigEndian = cameraSpec(kPhotoTime);
  bigEndian.bigEndian = true;
  const std::string photos[] = {photo, craftJpeg(bigEndian)};
  static int writes;
  static bool bulk;
  struct Case {
    const char* what;
    void (*inject)(HostCalls&);
  } cases[] = {
      {"card full", [](HostCalls& h) { h.write = [](int, const void*, size_t) -> ssize_t { errno = ENOSPC; return -1; }; }},
      {"short write, then full", [](HostCalls& h) {
         writes = 0;
         h.write = [](int fd, const void* b, size_t n) -> ssize_t {
           if (++writes == 1) return realHostCalls().write(fd, b, n > 3 ? 3 : n);
           errno = ENOSPC;
           return -1;
         };
       }},
      {"write stops", [](HostCalls& h) {
         writes = 0;
         h.write = [](int fd, const void* b, size_t n) -> ssize_t {
           return ++writes < 3 ? realHostCalls().write(fd, b, n) : 0;
         };
       }},
      {"card full in the bulk copy", [](HostCalls& h) {
         bulk = false;
         h.read = [](int fd, void* b, size_t n) {
           bulk = bulk || readsPhotoBody(fd);
           return realHostCalls().read(fd, b, n);
         };
         h.write = [](int fd, const void* b, size_t n) -> ssize_t {
           if (!bulk) return realHostCalls().write(fd, b, n);
           errno = ENOSPC;
           return -1;
         };
       }},
      {"photo unreadable in the bulk copy", [](HostCalls& h) {
         h.read = [](int fd, void* b, size_t n) -> ssize_t {
           if (!readsPhotoBody(fd)) return realHostCalls().read(fd, b, n);
           errno = EIO;
           return -1;
         };
       }},
      {"photo cut short under the bulk copy", [](HostCalls& h) {
         h.read = [](int fd, void* b, size_t n) -> ssize_t {
           return readsPhotoBody(fd) ? 0 : realHostCalls().read(fd, b, n);
         };
       }},
      {"flush fails", [](HostCalls& h) { h.fsync = [](int) { errno = EIO; return -1; }; }},
      {"rename fails", [](HostCalls& h) { h.rename = [](const char*, const char*) { errno = EROFS; return -1; }; }},
      {"rename fails, and the copy cannot be looked at", [](HostCalls& h) {
         h.rename = [](const char*, const char*) { errno = EROFS; return -1; };
         h.stat = [](const char* p, struct stat* st) {
           if (strstr(p, "vellumtrace-tagging.tmp")) { errno = EIO; return -1; }
           return realHostCalls().stat(p, st);
         };
       }},
      {"temporary file cannot be made", [](HostCalls& h) {
         h.open = [](const char* p, int f, mode_t m) {
           if (strstr(p, "vellumtrace-tagging.tmp")) { errno = EROFS; return -1; }
           return realHostCalls().open(p, f, m);
         };
       }},
  };
  for (const std::string& p : photos) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (p[12] == 'M' ? ", big-endian" : ", little-endian"));
      writeWholeFile(photoFile(), p);
      photoBytes = p.size();
      int result;
      {
        HostCallsOverride guard;
        c.inject(hostCalls());
        result = insertGpsIfd(photoName().c_str());
      }
      EXPECT_NE(result, 0) << hostFailureNote();
      EXPECT_EQ(lastTagOutcome(), TagOutcome::WriteFailed);
      expectUntouched(p);
    }
  }
  // A failed flush of the folder comes after the rename: the photo is then
  // the complete tagged copy, and counted as tagged.
  writeWholeFile(photoFile(), photo);
  {
    HostCallsOverride guard;
    static HostCalls real = realHostCalls();
    hostCalls().fsync = [](int fd) {
      struct stat st;
      if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) { errno = EIO; return -1; }
      return real.fsync(fd);
    };
    EXPECT_EQ(insertGpsIfd(photoName().c_str()), 0);
  }
  EXPECT_EQ(readWholeFile(photoFile()).size(), photo.size() + 127);
  EXPECT_FALSE(fileExists(tempFile()));
}

}  // namespace

namespace {

// The tagged copy is still the user's photo: its permission bits, and its
// owner and group where the process may set them (a privileged one can keep
// another user's).
TEST_F(GpsInsertTest, TheCopyKeepsThePhotosPermissionsAndOwner) {
  const std::string photo = craftJpeg(cameraSpec(kPhotoTime));
  writeWholeFile(photoFile(), photo);
  ASSERT_EQ(chmod(photoFile().c_str(), 0640), 0);
  const bool privileged = geteuid() == 0;
  if (privileged) {
    ASSERT_EQ(chown(photoFile().c_str(), 4321, 4322), 0);
  }
  ASSERT_EQ(insertGpsIfd(photoName().c_str()), 0) << tagOutcomeReason(lastTagOutcome()) << hostFailureNote();
  struct stat st;
  ASSERT_EQ(stat(photoFile().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (privileged) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
  }
}

}  // namespace
