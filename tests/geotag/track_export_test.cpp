// vellumtrace-tool gpx and log, run as processes against a device image:
// what they print is read back by gpsbabel and exiftool, which know nothing
// of the day files.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/geotag/photo_fixture.h"
#include "tests/support/program_process.h"

namespace {

bool have(const char* program) {
  return commandOutput(std::string("command -v ") + program).size() > 0;
}

class TrackExportTest : public PhotoTest {
 protected:
  void SetUp() override {
    PhotoTest::SetUp();
    // Two days out of the order of their names: 31 December 1999 comes
    // before 5 June 2010 although 311299 sorts after 050610. The second day
    // also holds records no track point can be made of, and a torn write.
    writeTrackLog(*image, "311299",
                  {{86399, 3352.0000f, 'S', 15112.2500f, 'E'},
                   {90000, 5545.1234f, 'N', 3737.5678f, 'E'},
                   {10, 5575.0000f, 'N', 3737.5678f, 'E'},
                   {11, 5545.1234f, 0, 3737.5678f, 'E'},
                   {12, NAN, 'N', 3737.5678f, 'E'},
                   {13, 4043.5000f, 'N', 7400.2500f, 'W'}},
                  "\x01\x02\x03");
    gpx = image->path("track.gpx");
  }
  std::string gpx;
};

TEST_F(TrackExportTest, GpsbabelReadsEveryDayInDateOrderWithSignedDegrees) {
  if (!have("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  ToolRun r = runTool({"gpx", "--root", image->root()});
  ASSERT_EQ(r.status, 0) << r.err;
  writeWholeFile(gpx, r.out);
  EXPECT_EQ(commandOutput("gpsbabel -t -i gpx -f " + gpx + " -o unicsv,utc=0 -F -"),
            "No,Latitude,Longitude,Date,Time\r\n"
            "1,-33.866667,151.204167,1999/12/31,23:59:59\r\n"
            "2,40.725000,-74.004167,1999/12/31,00:00:13\r\n"
            "3,55.752059,37.626131,2010/06/05,11:30:07\r\n");
  EXPECT_NE(r.err.find("311299.log ends in 3 bytes that are not a whole record"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("311299.log: 4 of 6 records hold no time or position"), std::string::npos)
      << r.err;
}

TEST_F(TrackExportTest, ExiftoolGeotagsAPhotoFromTheTrack) {
  if (!have("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  ToolRun r = runTool({"gpx", "--root", image->root(), "050610"});
  ASSERT_EQ(r.status, 0) << r.err;
  writeWholeFile(gpx, r.out);
  const std::string photo = photoFile();
  writeWholeFile(photo, craftJpeg(cameraSpec(kPhotoTime)));  // 14:30:07 on a clock at UTC+3
  commandOutput("exiftool -q -q -overwrite_original -geotag " + gpx +
                " '-geotime<${DateTimeOriginal}+03:00' " + photo);
  double lat = 0, lon = 0;
  ASSERT_EQ(sscanf(commandOutput("exiftool -n -s3 -GPSLatitude -GPSLongitude " + photo).c_str(),
                   "%lf %lf", &lat, &lon),
            2);
  EXPECT_NEAR(lat, 55.7520589, 1e-7);
  EXPECT_NEAR(lon, 37.6261312, 1e-7);
}

TEST_F(TrackExportTest, NamedDaysOnlyAndAMissingDayFails) {
  ToolRun r = runTool({"gpx", "--root", image->root(), "050610", "010203"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("2010-06-05T11:30:07Z"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("1999-"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("no track log for 010203"), std::string::npos) << r.err;
  EXPECT_EQ(runTool({"gpx", "--root", image->root(), "320610"}).status, 2);
  EXPECT_EQ(runTool({"gpx", "--root", image->path("nothing-here")}).status, 1);
}

TEST_F(TrackExportTest, LogListsEveryRecordWithItsRawValues) {
  ToolRun r = runTool({"log", "--root", image->root()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.out,
      "date,time,latitude,longitude,utc_seconds,packed_latitude,lat_ref,packed_longitude,lon_ref\n"
      "1999-12-31,23:59:59,-33.8666667,151.2041667,86399,3352,S,15112.25,E\n"
      "1999-12-31,,55.7520589,37.6261312,90000,5545.12354,N,3737.56787,E\n"
      "1999-12-31,00:00:10,,37.6261312,10,5575,N,3737.56787,E\n"
      "1999-12-31,00:00:11,,37.6261312,11,5545.12354,,3737.56787,E\n"
      "1999-12-31,00:00:12,,37.6261312,12,nan,N,3737.56787,E\n"
      "1999-12-31,00:00:13,40.7250000,-74.0041667,13,4043.5,N,7400.25,W\n"
      "2010-06-05,11:30:07,55.7520589,37.6261312,41407,5545.12354,N,3737.56787,E\n");
}

}  // namespace
