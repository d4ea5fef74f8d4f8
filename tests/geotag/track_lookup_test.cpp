#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <vector>
#include <string>

#include "app/state/shared_state.h"
#include "geotag/track_lookup.h"
#include "tests/geotag/track_log.h"

namespace {

class TrackLookupTest : public DeviceImageTest {
 protected:
  void setPhotoTime(const char* dateTime) { memcpy(shared.exifDateTime, dateTime, 20); }
};

// 2010:06:05 14:30:07 by the camera is 11:30:07 UTC: records at 41406..41408
// match, 41405 and 41409 do not.
TEST_F(TrackLookupTest, MatchesWithinOneSecondOfThePhotoLessThreeHours) {
  struct Case {
    int32_t seconds;
    int result;
  } cases[] = {{41405, -1}, {41406, 0}, {41407, 0}, {41408, 0}, {41409, -1}, {52207, -1}};
  for (const Case& c : cases) {
    writeTrackLog(*image, "050610", {{100}, {c.seconds, 1234.5f, 'S', 4321.25f, 'W'}, {200}});
    setPhotoTime("2010:06:05 14:30:07");
    EXPECT_EQ(findTrackFix(), c.result) << c.seconds;
    if (c.result == 0) {
      EXPECT_EQ(shared.matchLatitude, 1234.5f);
      EXPECT_EQ(shared.matchLongitude, 4321.25f);
      EXPECT_EQ(shared.matchLatRef, 'S');
      EXPECT_EQ(shared.matchLonRef, 'W');
    } else {
      // The variables hold the last record read: the log's last.
      EXPECT_EQ(shared.matchLatitude, 5545.1234f);
      EXPECT_EQ(shared.matchLatRef, 'N');
    }
  }
}

// Of the records within a second, the nearest wins, the earlier of two
// equally near; among equals in time, the first in the log. With the
// camera's zone anywhere from -12:00 to +14:00 the photo's UTC time may fall
// on the day before its date or the day after, across month and year ends.
TEST_F(TrackLookupTest, TheNearestRecordWinsInTheLogOfThePhotosUtcDay) {
  struct Case {
    const char* what;
    int32_t ahead;  // the camera's clock ahead of UTC
    const char* photo;
    std::vector<std::pair<const char*, TestRecord>> logs;  // day, record (latitude marks it)
    float want;     // the latitude found; 0: none
  } cases[] = {
      {"a second early first, then exact", 10800, "2010:06:05 14:30:07",
       {{"050610", {41406, 1.0f}}, {"050610", {41407, 2.0f}}, {"050610", {41408, 3.0f}}}, 2.0f},
      {"a second late, then a second early: the earlier", 10800, "2010:06:05 14:30:07",
       {{"050610", {41408, 3.0f}}, {"050610", {41406, 1.0f}}}, 1.0f},
      {"two exact: the first in the log", 10800, "2010:06:05 14:30:07",
       {{"050610", {41407, 4.0f}}, {"050610", {41407, 5.0f}}}, 4.0f},
      {"UTC+14: the day before", 50400, "2010:06:05 08:00:00", {{"040610", {64800, 6.0f}}}, 6.0f},
      {"UTC-12: the next day", -43200, "2010:06:05 20:00:00", {{"060610", {28800, 7.0f}}}, 7.0f},
      {"UTC-5 across the year", -18000, "2010:12:31 23:30:00", {{"010111", {16200, 8.0f}}}, 8.0f},
      {"UTC-5 across February of a leap year", -18000, "2012:02:28 19:00:00", {{"290212", {0, 9.0f}}}, 9.0f},
      {"UTC-5: not in the photo's own day", -18000, "2010:06:05 20:00:00", {{"050610", {3600, 1.5f}}}, 0.0f},
      {"at midnight: a second early in one day, exact in the next", -18000, "2010:06:05 19:00:00",
       {{"050610", {86399, 1.0f}}, {"060610", {0, 2.0f}}}, 2.0f},
      {"at midnight: a second late in the next day, a second early in this", 0, "2010:06:05 23:59:59",
       {{"060610", {0, 3.0f}}, {"050610", {86398, 4.0f}}}, 4.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(trackLogFolder(*image));
    std::map<std::string, std::vector<TestRecord>> days;
    for (const auto& [day, record] : c.logs) days[day].push_back(record);
    for (const auto& [day, records] : days) writeTrackLog(*image, day, records);
    setCameraClockAheadOfUtc(c.ahead);
    setPhotoTime(c.photo);
    const int result = findTrackFix();
    setCameraClockAheadOfUtc(kDeviceCameraClockAheadOfUtc);
    EXPECT_EQ(result, c.want == 0.0f ? -1 : 0);
    if (result == 0) {
      EXPECT_EQ(shared.matchLatitude, c.want);
    }
  }
}

// Before 03:00 by the camera's clock the photo was taken the previous UTC
// day, and its fix is in that day's log, across month and year ends (leap
// years by the century too); within a second of 03:00 either day's log may
// hold it.
TEST_F(TrackLookupTest, EarlyPhotosAreFoundInThePreviousDaysLog) {
  struct Case {
    const char* photo;
    const char* day;
    int32_t seconds;
    int result;
  } cases[] = {
      {"2010:06:13 01:30:00", "120610", 81000, 0},
      {"2010:06:13 01:30:00", "130610", 81000, -1},
      {"2010:07:01 00:00:00", "300610", 75600, 0},
      {"2011:01:01 02:00:00", "311210", 82800, 0},
      {"2012:03:01 00:10:00", "290212", 76200, 0},
      {"2011:03:01 00:10:00", "280211", 76200, 0},
      {"2000:03:01 00:10:00", "290200", 76200, 0},
      {"1900:03:01 00:10:00", "280200", 76200, 0},
      {"2010:06:05 02:59:59", "050610", 0, 0},
      {"2010:06:05 02:59:59", "040610", 86399, 0},
      {"2010:06:05 03:00:00", "040610", 86399, 0},
      {"2010:06:05 02:59:57", "050610", 0, -1},
      {"2010:06:05 03:00:02", "040610", 86399, -1},
      {"2010:06:05 00:00:00", "050610", 86399, -1},
      {"2010:06:00 01:00:00", "310510", 79200, -1},  // no day 0: no day before it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.photo + std::string(" in ") + c.day);
    std::filesystem::remove_all(trackLogFolder(*image));
    writeTrackLog(*image, c.day, {{c.seconds, 1234.5f, 'S'}});
    setPhotoTime(c.photo);
    shared.matchLatitude = 0.0f;
    EXPECT_EQ(findTrackFix(), c.result);
    if (c.result == 0) {
      EXPECT_EQ(shared.matchLatitude, 1234.5f);
    }
  }
}

TEST_F(TrackLookupTest, AMissingLogLeavesTheMatchVariablesAlone) {
  shared.matchLatitude = 7.0f;
  shared.matchLatRef = 'X';
  setPhotoTime("2010:06:05 14:30:07");
  EXPECT_EQ(findTrackFix(), -1);
  writeTrackLog(*image, "050610", {});
  EXPECT_EQ(findTrackFix(), -1);
  EXPECT_EQ(shared.matchLatitude, 7.0f);
  EXPECT_EQ(shared.matchLatRef, 'X');
}

// The log is read in blocks: a match in the record cut by a block's end, or
// at the very end of a full day, is found as record-by-record reading finds
// it, and a torn last record is not examined.
TEST_F(TrackLookupTest, BlockReadsFindWhatRecordReadsFind) {
  for (int matchAt : {4095, 4096, 8191, 86399}) {
    std::vector<TestRecord> day;
    for (int i = 0; i < 86400; i++) day.push_back({i == matchAt ? 41407 : 0});
    day[matchAt].latitude = 42.0f;
    writeTrackLog(*image, "050610", day);
    setPhotoTime("2010:06:05 14:30:07");
    ASSERT_EQ(findTrackFix(), 0) << matchAt;
    EXPECT_EQ(shared.matchLatitude, 42.0f);
  }
  writeTrackLog(*image, "050610", {{1, 9.0f}}, recordBytes({41407, 1.0f}).substr(0, 13));
  EXPECT_EQ(findTrackFix(), -1);
  EXPECT_EQ(shared.matchLatitude, 9.0f);
}

TEST_F(TrackLookupTest, TimeFieldsAreReadAsTheirLeadingDigits) {
  writeTrackLog(*image, "050610", {{41403}});
  setPhotoTime("2010:06:05 14:30: 3");  // a blank before the digit
  EXPECT_EQ(findTrackFix(), 0);
  writeTrackLog(*image, "050610", {{41400}});
  setPhotoTime("2010:06:05 14:30:x9");  // no digits: 0 seconds
  EXPECT_EQ(findTrackFix(), 0);
}

// Only digits go into the log's name: a damaged date can never open a file
// outside the log folder.
TEST_F(TrackLookupTest, ADateOfOtherCharactersNamesNoLog) {
  writeWholeFile(image->path("ResidentFlash/a.log"), recordBytes({41407}));
  mkdir(trackLogFolder(*image).c_str(), 0777);
  writeWholeFile(trackLogFolder(*image) + "/..\\a.log", recordBytes({41407}));
  setPhotoTime("20a\\:\\.:.. 14:30:07");
  EXPECT_EQ(findTrackFix(), -1);
  WCHAR path[64];
  EXPECT_FALSE(trackLogPathFor("2010:06:0", path, 64));
  ASSERT_TRUE(trackLogPathFor("2010:06:05 14:30:07", path, 64));
  EXPECT_EQ(std::u16string(path), u"\\ResidentFlash\\vellumtrace\\050610.log");
}

}  // namespace
