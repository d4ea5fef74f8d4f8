// The generated photos stand in for a camera's in the end-to-end tests and
// the demo, so they must have the layout the tagger accepts and the camera
// time three hours ahead of the fix.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/core/byte_order.h"
#include "tests/support/device_image_fixture.h"
#include "tools/photogen/camera_photo.h"
#include "tools/photogen/nmea_fixes.h"

namespace {

unsigned le16(const std::string& s, size_t at) { return readLe16(s.data() + at); }

std::string run(const std::string& command) { return commandOutput(command); }

TEST(PhotoGenerator, CameraTimeIsThreeHoursAheadAcrossDayMonthAndYear) {
  EXPECT_EQ(cameraTimeOf({2006, 7, 21, 18 * 3600 + 52 * 60 + 44}), "2006:07:21 21:52:44");
  EXPECT_EQ(cameraTimeOf({2014, 12, 31, 21 * 3600}), "2015:01:01 00:00:00");
  EXPECT_EQ(cameraTimeOf({2024, 2, 28, 23 * 3600 + 59 * 60 + 59}), "2024:02:29 02:59:59");
}

TEST(PhotoGenerator, CaptureFixesKeepOnlyDatedActiveFixes) {
  const std::string dir = makeTempDir("vt-photogen");
  const std::string capture = dir + "/c.log";
  writeWholeFile(capture,
                 "# comment\n"
                 "$GPRMC,,V,,,,,,,,,,N*53\n"
                 "$GPRMC,095255.810,V,2712.6404,S,15303.1201,E,0.00,0.00,080407,,,A*6E\n"
                 "$GPRMC,095415.787,A,2712.6404,S,15303.1200,E,2.11,96.86,080407,,,A*48\n"
                 "$GPRMC,095416.000,A,2712.6404,S,15303.1200,E,2.11,96.86,,,,A*48\n"
                 "$GPGGA,095416.000,2712.6404,S,15303.1200,E,1,08,1.0,10.0,M,,,,0000*00\n");
  const auto fixes = readCaptureFixes(capture);
  ASSERT_EQ(fixes.size(), 1u);
  EXPECT_EQ(fixes[0].secondsOfDay, 9 * 3600 + 54 * 60 + 15);
  EXPECT_EQ(cameraTimeOf(fixes[0]), "2007:04:08 12:54:15");
  removeTree(dir);
}

// APP1 straight after SOI (or after JFIF), little-endian TIFF with IFD0 at 8,
// the Exif IFD between IFD0 and IFD1, and IFD1 present: what the tagger takes.
TEST(PhotoGenerator, PhotoHasTheAcceptedExifLayoutAndReadsBackInExiftool) {
  for (bool jfif : {false, true}) {
    PhotoSpec spec;
    spec.width = 320;
    spec.height = 240;
    spec.jfifFirst = jfif;
    spec.dateTimeOriginal = "2026:03:06 12:30:15";
    const std::string photo = makeCameraPhoto(spec);
    ASSERT_GT(photo.size(), 1000u);
    const size_t lengthField = jfif ? 22 : 4;  // APP1's, after FF D8 or after the JFIF APP0
    ASSERT_EQ(photo.substr(0, 2), "\xFF\xD8");
    ASSERT_EQ(photo.substr(lengthField - 2, 2), "\xFF\xE1");
    const size_t tiff = lengthField + 8;
    ASSERT_EQ(photo.substr(lengthField + 2, 6), std::string("Exif\0\0", 6));
    ASSERT_EQ(photo.substr(tiff, 8), std::string("II\x2A\0\x08\0\0\0", 8));
    const unsigned entries = le16(photo, tiff + 8);
    unsigned exifIfd = 0;
    for (unsigned i = 0; i < entries; ++i)
      if (le16(photo, tiff + 10 + 12 * i) == 0x8769) exifIfd = le16(photo, tiff + 10 + 12 * i + 8);
    const unsigned ifd1 = le16(photo, tiff + 10 + 12 * entries);
    EXPECT_GT(exifIfd, 10 + 12 * entries + 4);
    EXPECT_GT(ifd1, exifIfd);
    const size_t appLength = readBe16(reinterpret_cast<const uint8_t*>(photo.data()) + lengthField);
    EXPECT_LT(appLength, 65408u);

    const std::string dir = makeTempDir("vt-photogen");
    writeWholeFile(dir + "/a.jpg", photo);
    const std::string out =
        run("exiftool -s3 -DateTimeOriginal -ThumbnailLength -ExifByteOrder " + dir + "/a.jpg");
    EXPECT_NE(out.find("2026:03:06 12:30:15"), std::string::npos) << out;
    EXPECT_NE(out.find("Little-endian"), std::string::npos) << out;
    const std::string warnings = run("exiftool -validate -warning -s3 " + dir + "/a.jpg");
    EXPECT_EQ(warnings.find("Warning"), std::string::npos) << warnings;
    removeTree(dir);
  }
}

}  // namespace
