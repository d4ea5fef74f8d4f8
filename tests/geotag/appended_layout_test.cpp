// Photos the inserted layout cannot provably follow get the appended one: no
// byte of their EXIF data moves; a new IFD0, in tag order, and the GPS IFD
// go into the zeros that end the APP1 when they are free, else after the
// TIFF data, and the header points at the new IFD0.
#include <algorithm>

#include "geotag/exif_layout.h"
#include "platform/core/byte_order.h"
#include "tests/geotag/photo_fixture.h"
#include "tests/support/host_failure_note.h"

namespace {

class AppendedLayoutTest : public PhotoTest {};

// The TIFF data of a photo whose APP1 directly follows FF D8.
std::string tiffOf(const std::string& jpeg) { return jpeg.substr(12, readBe16(jpeg.data() + 4) - 8); }

std::string withTiff(const std::string& jpeg, const std::string& tiff) {
  const std::string old = tiffOf(jpeg);
  return jpeg.substr(0, 2) + app1Of(tiff) + jpeg.substr(12 + old.size());
}

// The copy keeps every byte of the photo's TIFF data but the header's IFD0
// offset, which names a new IFD0 after them: the old entries and the GPS
// pointer in ascending tag order, with the old next-IFD offset.
void expectAppended(const std::string& photo, const std::string& out) {
  const std::string in = tiffOf(photo), t = tiffOf(out);
  ASSERT_GE(t.size(), in.size());
  EXPECT_EQ(t.substr(0, 4), in.substr(0, 4));
  EXPECT_TRUE(t.substr(8, in.size() - 8) == in.substr(8) || getLe32(t, 4) >= in.find_last_not_of('\0'))
      << "an existing byte moved";
  const std::string payload = "Exif" + std::string(2, '\0') + t;
  const uint8_t* p = reinterpret_cast<const uint8_t*>(payload.data());
  ExifLayout back, was;
  ASSERT_EQ(readExifLayout(p, static_cast<uint32_t>(payload.size()), &back), TagOutcome::AlreadyGeotagged);
  const std::string oldPayload = "Exif" + std::string(2, '\0') + in;
  readExifLayout(reinterpret_cast<const uint8_t*>(oldPayload.data()), static_cast<uint32_t>(oldPayload.size()), &was);
  EXPECT_NE(back.ifd0.offset, was.ifd0.offset);
  EXPECT_EQ(back.ifd1, was.ifd1);
  EXPECT_EQ(back.exifIfd, was.exifIfd);
  TiffBytes tb{reinterpret_cast<const uint8_t*>(t.data()), static_cast<uint32_t>(t.size()), false};
  for (uint32_t i = 1; i < back.ifd0.count; i++)
    EXPECT_LE(ifdEntry(tb, back.ifd0, i - 1).tag, ifdEntry(tb, back.ifd0, i).tag) << "entry " << i;
}

TEST_F(AppendedLayoutTest, WhatTheInsertedLayoutCannotFollowStaysInPlace) {
  const std::string good = craftJpeg(cameraSpec(kPhotoTime));
  CraftedLayout at;
  craftJpeg(cameraSpec(kPhotoTime), &at);
  auto patched = [&](uint32_t field, uint32_t value) {
    std::string s = good;
    putLe32(s, 12 + field, value);
    return s;
  };
  // IFD0 moved to the end of the TIFF data: its old table stays as it was.
  std::string moved = tiffOf(good);
  const size_t ifd0Bytes = 2 + 12 * 4 + 4;
  moved += std::string(moved.size() % 2, '\0') + moved.substr(8, ifd0Bytes);
  putLe32(moved, 4, static_cast<uint32_t>(moved.size() - ifd0Bytes));
  CraftSpec unsorted = cameraSpec(kPhotoTime);
  std::swap(unsorted.ifd0[1], unsorted.ifd0[2]);
  CraftSpec privateTag = cameraSpec(kPhotoTime);
  privateTag.exif.push_back(CraftEntry{0xC000, 4, 1, 12});
  const std::pair<const char*, std::string> cases[] = {
      {"IFD0 value across IFD1", patched(10 + 24 + 8, at.ifd1 - 4)},
      {"thumbnail across IFD1", patched(at.ifd1 + 2 + 12 + 8, at.ifd1 - 4)},
      {"Exif value across IFD1", patched(at.exifIfd + 2 + 12 + 8, at.ifd1 - 8)},
      {"Exif value over IFD1's table", patched(at.exifIfd + 2 + 12 + 8, at.ifd1)},
      {"IFD0 not at 8", withTiff(good, moved)},
      {"IFD0 out of tag order", craftJpeg(unsorted)},
      {"a private tag that may hold an offset", craftJpeg(privateTag)},
  };
  for (const auto& [what, photo] : cases) {
    SCOPED_TRACE(what);
    ASSERT_EQ(tag(photo), 0) << tagOutcomeReason(lastTagOutcome()) << hostFailureNote();
    const std::string out = readWholeFile(photoFile());
    expectAppended(photo, out);
    EXPECT_EQ(out.substr(out.size() - 20), photo.substr(photo.size() - 20));
    // A second run finds the position and leaves the copy alone.
    EXPECT_EQ(tag(out), -1);
    EXPECT_EQ(lastTagOutcome(), TagOutcome::AlreadyGeotagged);
  }
}

// Zeros that end the APP1, after everything that points anywhere, take the
// new directories: the copy is as long as the photo, also at the APP1's
// largest size. Zeros something may point at are left alone.
TEST_F(AppendedLayoutTest, FreeZerosAtTheEndOfTheApp1TakeTheNewDirectories) {
  CraftSpec s = cameraSpec(kPhotoTime);
  s.exif.push_back(CraftEntry{0x927C, 7, 16, 0, "maker note data!"});
  s.afterIfd1 = std::string(400, '\0');
  const std::string padded = craftJpeg(s);
  CraftedLayout at;
  s.afterIfd1 = std::string(400 + 65535 - readBe16(padded.data() + 4), '\0');
  const std::string full = craftJpeg(s, &at);
  ASSERT_EQ(readBe16(full.data() + 4), 65535u);
  for (const std::string& photo : {padded, full}) {
    ASSERT_EQ(tag(photo), 0) << tagOutcomeReason(lastTagOutcome());
    const std::string out = readWholeFile(photoFile());
    EXPECT_EQ(out.size(), photo.size());
    expectAppended(photo, out);
    EXPECT_EQ(getLe32(tiffOf(out), 4), at.afterIfd1 + at.afterIfd1 % 2);
  }
  // A LONG of a private tag naming a place among the zeros: the directories
  // go after it.
  s.afterIfd1 = std::string(400, '\0');
  s.exif.push_back(CraftEntry{0xC000, 4, 1, at.afterIfd1 + 100});
  const std::string pointed = craftJpeg(s);
  ASSERT_EQ(tag(pointed), 0) << tagOutcomeReason(lastTagOutcome());
  EXPECT_GT(getLe32(tiffOf(readWholeFile(photoFile())), 4), at.afterIfd1 + 100);
}

// A GPS IFD without a position (location off) is no position: the new GPS
// IFD holds its entries and the position, in tag order, and the pointer
// moves to it.
TEST_F(AppendedLayoutTest, AnEmptyGpsIfdIsReplacedWithOneHoldingItsEntriesAndThePosition) {
  CraftSpec s = cameraSpec(kPhotoTime);
  CraftedLayout at;
  s.ifd0.push_back(CraftEntry{0x8825, 4, 1, 0});
  craftJpeg(s, &at);
  // Version 2.3.0.0 and a map datum, and no position.
  std::string gps(2 + 24 + 4, '\0');
  putLe16(gps, 0, 2);
  gps.replace(2, 12, std::string("\x00\x00\x01\x00\x04\x00\x00\x00\x02\x03\x00\x00", 12));
  gps.replace(14, 12, std::string("\x12\x00\x02\x00\x04\x00\x00\x00WGS\0", 12));
  s.afterIfd1 = gps;
  s.ifd0.back().value = at.afterIfd1;
  const std::string photo = craftJpeg(s);
  ASSERT_EQ(tag(photo), 0) << tagOutcomeReason(lastTagOutcome());
  const std::string out = readWholeFile(photoFile());
  expectAppended(photo, out);
  const std::string t = tiffOf(out);
  const std::string payload = "Exif" + std::string(2, '\0') + t;
  ExifLayout back;
  readExifLayout(reinterpret_cast<const uint8_t*>(payload.data()), static_cast<uint32_t>(payload.size()), &back);
  ASSERT_NE(back.gpsPointer, at.afterIfd1);
  const uint32_t g = back.gpsPointer;
  ASSERT_EQ(getLe16(t, g), 6u);
  const uint16_t tags[] = {0, 1, 2, 3, 4, 0x12};
  for (int i = 0; i < 6; i++) EXPECT_EQ(getLe16(t, g + 2 + 12 * i), tags[i]) << i;
  EXPECT_EQ(t.substr(g + 2 + 8, 4), std::string("\x02\x03\x00\x00", 4)) << "its own version";
  EXPECT_EQ(t.substr(g + 2 + 12 * 5 + 8, 4), std::string("WGS\0", 4));
  EXPECT_EQ(getLe32(t, getLe32(t, g + 2 + 24 + 8)), 55u) << "latitude degrees";
  EXPECT_EQ(tag(out), -1);
  EXPECT_EQ(lastTagOutcome(), TagOutcome::AlreadyGeotagged);
}

}  // namespace
