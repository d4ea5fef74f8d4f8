// The $GPRMC parser and the line splitting: the record's bytes, the status
// rule that drops a tick's earlier records, field slots that keep old text,
// the lines that are skipped, and input that does not fit the buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gps/nmea_intake.h"
#include "gps/track_record.h"

namespace {

class NmeaIntakeTest : public ::testing::Test {
 protected:
  void SetUp() override { resetGpsIntake(); }

  // Runs the splitting over one tick's text and returns the tick's records.
  std::string parseTick(const std::string& text) {
    gpsIntake.recordBytes = 0;
    splitNmeaLines(text.c_str());
    return records();
  }
  std::string records() const {
    return std::string(reinterpret_cast<const char*>(gpsIntake.recordBuffer),
                       static_cast<size_t>(gpsIntake.recordBytes));
  }
  std::string fixDate() const { return gpsIntake.fixDate; }
  TrackRecord recordAt(int index) const {
    return decodeTrackRecord(gpsIntake.recordBuffer + index * kTrackRecordBytes);
  }
};

std::string rmc(const std::string& time, const std::string& status, const std::string& lat,
                const std::string& ns, const std::string& lon, const std::string& ew,
                const std::string& date) {
  return "$GPRMC," + time + "," + status + "," + lat + "," + ns + "," + lon + "," + ew +
         ",0.13,309.62," + date + ",,,A*7C\r\n";
}

const std::string kMoscow = rmc("093015.00", "A", "5545.1234", "N", "03737.5678", "E", "060326");

TEST_F(NmeaIntakeTest, TheExampleFixBecomesTheDocumentedFourteenBytes) {
  std::string bytes = parseTick(kMoscow);
  const unsigned char expected[14] = {0xA7, 0x85, 0x00, 0x00, 0xFD, 0x48, 0xAD,
                                      0x45, 0x4E, 0x16, 0x99, 0x69, 0x45, 0x45};
  ASSERT_EQ(14u, bytes.size());
  EXPECT_EQ(0, memcmp(expected, bytes.data(), 14));
  EXPECT_EQ("060326", fixDate());

  TrackRecord r = recordAt(0);
  EXPECT_EQ(34215, r.utcSeconds);
  EXPECT_EQ(5545.12353515625f, r.latitude);
  EXPECT_EQ(3737.56787109375f, r.longitude);
  EXPECT_EQ('N', r.latRef);
  EXPECT_EQ('E', r.lonRef);
  BYTE again[14];
  encodeTrackRecord(r, again);
  EXPECT_EQ(0, memcmp(expected, again, 14));
}

TEST_F(NmeaIntakeTest, TimeFieldsBecomeSecondsOfTheDayAsPairsOfDigits) {
  struct Case {
    const char* field;
    int seconds;
  } cases[] = {
      {"093015.00", 34215}, {"235959", 86399}, {"000000", 0},
      {"0930", 34200},      // seconds absent
      {"9", 32400},         // one digit of hours, nothing else
      {"", 0},              // empty field
      {"12a456", 43256},    // a pair without leading digits counts 0
      {"123456789", 45296}, // digits after the sixth are ignored
  };
  for (const Case& c : cases) {
    resetGpsIntake();
    parseTick(rmc(c.field, "A", "5545.1234", "N", "03737.5678", "E", "060326"));
    ASSERT_EQ(14, gpsIntake.recordBytes) << c.field;
    EXPECT_EQ(c.seconds, recordAt(0).utcSeconds) << c.field;
  }
}

TEST_F(NmeaIntakeTest, PositionsKeepThePackedFormAndEmptyFieldsGiveZero) {
  parseTick(rmc("120000", "A", "", "", "17518.8938", "W", "311214"));
  TrackRecord r = recordAt(0);
  EXPECT_EQ(0.0f, r.latitude);
  EXPECT_EQ(0, r.latRef);
  EXPECT_EQ(17518.8938f, r.longitude);  // not decimal degrees
  EXPECT_EQ('W', r.lonRef);
  uint32_t bits;
  float lat = decodeTrackRecord(reinterpret_cast<const BYTE*>(parseTick(kMoscow).data())).latitude;
  memcpy(&bits, &lat, 4);
  EXPECT_EQ(0x45AD48FDu, bits);
}

TEST_F(NmeaIntakeTest, AStatusOtherThanAEmptiesTheDateAndDropsTheTicksEarlierRecords) {
  std::string a1 = rmc("100000", "A", "1111.0000", "N", "02222.0000", "E", "010126");
  std::string a2 = rmc("100001", "A", "3333.0000", "S", "04444.0000", "W", "020126");
  std::string v = rmc("100002", "V", "5555.0000", "N", "06666.0000", "E", "030126");
  std::string blank = rmc("100003", "", "5555.0000", "N", "06666.0000", "E", "030126");

  // valid, V, valid: only the last record stays, with the last date.
  EXPECT_EQ(14u, parseTick(a1 + v + a2).size());
  EXPECT_EQ(36001, recordAt(0).utcSeconds);
  EXPECT_EQ("020126", fixDate());

  // valid then V: nothing at all, and no date.
  EXPECT_EQ("", parseTick(a1 + a2 + v));
  EXPECT_EQ("", fixDate());

  // an empty status is not valid either.
  EXPECT_EQ("", parseTick(a1 + blank));

  // two valid lines: two records, in the order received.
  EXPECT_EQ(28u, parseTick(a1 + a2).size());
  EXPECT_EQ(36000, recordAt(0).utcSeconds);
  EXPECT_EQ(36001, recordAt(1).utcSeconds);
}

TEST_F(NmeaIntakeTest, AShortLineTakesTheLaterFieldsOfAnEarlierLine) {
  // Before any full line the slots are empty: the short line's record has no
  // position and its date is not complete.
  parseTick("$GPRMC,101010,A,\r\n");
  ASSERT_EQ(14, gpsIntake.recordBytes);
  EXPECT_EQ(0.0f, recordAt(0).latitude);
  EXPECT_EQ("", fixDate());

  parseTick(kMoscow);
  parseTick("$GPRMC,101010,A,\r\n");
  ASSERT_EQ(14, gpsIntake.recordBytes);
  TrackRecord r = recordAt(0);
  EXPECT_EQ(36610, r.utcSeconds);
  EXPECT_EQ(5545.12353515625f, r.latitude);
  EXPECT_EQ('E', r.lonRef);
  EXPECT_EQ("060326", fixDate());
  EXPECT_STREQ("A", gpsIntake.fieldSlots[2]);
  EXPECT_STREQ("5545.1234", gpsIntake.fieldSlots[3]);

  // An empty date field is a field too: it empties the date, the record stays.
  parseTick(rmc("101011", "A", "1.0", "N", "2.0", "E", ""));
  EXPECT_EQ(14, gpsIntake.recordBytes);
  EXPECT_EQ("", fixDate());
}

TEST_F(NmeaIntakeTest, OnlyLinesThatBeginWithTheGpsTalkersRmcAndACommaAreParsed) {
  std::string body = kMoscow.substr(6);  // ",093015.00,A,..."
  const std::string skipped[] = {
      "$GNRMC" + body,             // another talker
      "$GPRMCX" + body,            // no comma after the name
      "$gprmc" + body,             // case matters
      " $GPRMC" + body,            // not at the start of the line
      "$GPGGA,093015.00,5545.1234,N,03737.5678,E,1,08,1.1,59.9,M,23.7,M,,0000*7D\r\n",
  };
  for (const std::string& line : skipped) {
    resetGpsIntake();
    EXPECT_EQ("", parseTick(line)) << line;
    EXPECT_EQ("", fixDate()) << line;
    EXPECT_STREQ("", gpsIntake.fieldSlots[0]) << line;
  }
}

TEST_F(NmeaIntakeTest, OnlyWholeLinesEndedByCrLfCount) {
  // A sentence the read cut short is lost, and its remainder at the start of
  // the next read does not begin with "$GPRMC," either.
  std::string head = kMoscow.substr(0, 30), tail = kMoscow.substr(30);
  EXPECT_EQ("", parseTick(head));
  EXPECT_EQ("", parseTick(tail));
  // A bare LF or CR does not end a line: both sentences run together into
  // one line, whose fields are the first sentence's.
  std::string lfOnly = kMoscow.substr(0, kMoscow.size() - 2) + "\n";
  EXPECT_EQ(14u, parseTick(lfOnly + kMoscow).size());
  EXPECT_EQ("", parseTick(kMoscow.substr(0, kMoscow.size() - 2) + "\r"));
  // An empty line between sentences is harmless.
  EXPECT_EQ(28u, parseTick(kMoscow + "\r\n" + kMoscow).size());
}

TEST_F(NmeaIntakeTest, LinesAndFieldsTooLongForTheirBuffersAreSkippedWhole) {
  parseTick(kMoscow);
  ASSERT_EQ("060326", fixDate());

  // A line of 1,024 bytes or more cannot be a sentence.
  std::string longLine = rmc("111111", "A", "1.0", "N", "2.0", "E", "070326");
  longLine.insert(longLine.size() - 2, 1024, '9');
  EXPECT_EQ("", parseTick(longLine));
  EXPECT_EQ("060326", fixDate());

  // 1,023 bytes still fit.
  std::string fits = rmc("111111", "A", "1.0", "N", "2.0", "E", "070326");
  fits.insert(fits.size() - 2, 1023 - (fits.size() - 2), '9');
  ASSERT_EQ(1025u, fits.size());
  EXPECT_EQ(14u, parseTick(fits).size());
  EXPECT_EQ("070326", fixDate());

  // A field of 64 bytes or more: the line changes nothing, not even the
  // slots before the long field.
  std::string longField = rmc("121212", "A", std::string(64, '1'), "S", "2.0", "W", "080326");
  EXPECT_EQ(14u, parseTick(kMoscow + longField).size());
  EXPECT_EQ("060326", fixDate());
  EXPECT_STREQ("093015.00", gpsIntake.fieldSlots[1]);
  // 63 bytes fit.
  parseTick(rmc("121212", "A", std::string(63, '1'), "S", "2.0", "W", "080326"));
  EXPECT_EQ(14, gpsIntake.recordBytes);
  EXPECT_EQ(std::string(63, '1'), gpsIntake.fieldSlots[3]);
  // The text after the last comma is never stored, so its length is free.
  EXPECT_EQ(14u, parseTick("$GPRMC,1,A," + std::string(900, 'x') + "\r\n").size());
}

TEST_F(NmeaIntakeTest, MoreFieldsThanSlotsAndMoreRecordsThanTheBufferHoldAreDropped) {
  std::string many = "$GPRMC,010101,A,1.0,N,2.0,E,0,0,090326";
  for (int i = 10; i < 40; ++i) many += "," + std::to_string(i);
  parseTick(many + ",end\r\n");
  EXPECT_EQ(14, gpsIntake.recordBytes);
  EXPECT_STREQ("31", gpsIntake.fieldSlots[31]);

  // The shortest valid lines are 12 bytes, so one read of 65,534 bytes can
  // bring more records than the 4,681 the buffer holds: the rest are dropped.
  std::string flood;
  while (flood.size() + 12 <= kReadRequestBytes) flood += "$GPRMC,,A,\r\n";
  parseTick(flood);
  EXPECT_EQ(4681 * 14, gpsIntake.recordBytes);
  // A later invalid line of the same tick still drops them all.
  parseTick(flood + "$GPRMC,,V,\r\n");
  EXPECT_EQ(0, gpsIntake.recordBytes);
}

}  // namespace
