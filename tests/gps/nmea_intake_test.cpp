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

  // One tick that read `text`, after the line the previous one left
  // unfinished, as the worker's tick puts them; returns the tick's records.
  std::string parseTick(const std::string& text) {
    gpsIntake.recordBytes = 0;
    memset(gpsIntake.readBuffer, 0, kReadClearBytes);
    size_t carried = placeCarriedLine(gpsIntake.readBuffer);
    memcpy(gpsIntake.readBuffer + carried, text.data(), text.size());
    takeTickText(gpsIntake.readBuffer, carried + text.size());
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
         ",0.13,309.62," + date + ",,,A\r\n";
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

TEST_F(NmeaIntakeTest, PositionsKeepThePackedForm) {
  parseTick(rmc("120000", "A", "0000.0000", "N", "17518.8938", "W", "311214"));
  TrackRecord r = recordAt(0);
  EXPECT_EQ(0.0f, r.latitude);
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

TEST_F(NmeaIntakeTest, AFixWithoutItsOwnTimeAndPositionGivesNoRecord) {
  // Each of these would have taken the missing part from an earlier line's
  // slots; the slots and the date still take what the line holds.
  struct Case {
    const char* what;
    std::string line;
    const char* date;
  } cases[] = {
      {"stops after the status", "$GPRMC,101010,A,\r\n", "060326"},
      {"stops after the latitude letter", "$GPRMC,101010,A,1111.0000,S,\r\n", "060326"},
      {"empty time", rmc("", "A", "1.0", "N", "2.0", "E", "070326"), "070326"},
      {"empty latitude", rmc("101010", "A", "", "N", "2.0", "E", "070326"), "070326"},
      {"empty N/S", rmc("101010", "A", "1.0", "", "2.0", "E", "070326"), "070326"},
      {"empty longitude", rmc("101010", "A", "1.0", "N", "", "E", "070326"), "070326"},
      {"empty E/W", rmc("101010", "A", "1.0", "N", "2.0", "", "070326"), "070326"},
  };
  for (const Case& c : cases) {
    resetGpsIntake();
    parseTick(kMoscow);
    EXPECT_EQ("", parseTick(c.line)) << c.what;
    EXPECT_EQ(c.date, fixDate()) << c.what;
    EXPECT_STREQ("A", gpsIntake.fieldSlots[2]) << c.what;
  }
  // An empty date field is a field too: it empties the date, the record stays.
  parseTick(rmc("101011", "A", "1.0", "N", "2.0", "E", ""));
  EXPECT_EQ(14, gpsIntake.recordBytes);
  EXPECT_EQ("", fixDate());
}

TEST_F(NmeaIntakeTest, ALineWhoseChecksumFailsChangesNothing) {
  const std::string body = "GPRMC,093015.00,A,5545.1234,N,03737.5678,E,0.13,309.62,060326,,,A";
  struct Case {
    std::string line;
    bool recorded;
  } cases[] = {
      {"$" + body + "*54", true},
      {"$" + body, true},                                     // none: taken as it is
      {"$" + body + "*54 ", false},                           // not at the end
      {"$" + body + "*55", false},                            // a wrong digit
      {"$" + body + "*5", false},                             // one digit
      {"$" + body + "*ZZ", false},                            // not hex
      {"$" + body + "*", false},
      // one bit flipped in the longitude: 111 km away, same checksum text
      {"$GPRMC,093015.00,A,5545.1234,N,03747.5678,E,0.13,309.62,060326,,,A*54", false},
  };
  for (const Case& c : cases) {
    resetGpsIntake();
    parseTick(c.line + "\r\n");
    EXPECT_EQ(c.recorded ? 14 : 0, gpsIntake.recordBytes) << c.line;
    EXPECT_STREQ(c.recorded ? "093015.00" : "", gpsIntake.fieldSlots[1]) << c.line;
    EXPECT_EQ(c.recorded ? "060326" : "", fixDate()) << c.line;
  }
  // Lower-case hex digits are hex digits.
  EXPECT_TRUE(rmcChecksumHolds("$GPRMC,,V,,,,,,,,,,N*53"));
  EXPECT_TRUE(rmcChecksumHolds("$GPRMC,1,A,1,N,1,E,*1c"));
  EXPECT_FALSE(rmcChecksumHolds("$GPRMC,1,A,1,N,1,E,*1d"));
}

TEST_F(NmeaIntakeTest, EveryGnssTalkersRmcIsParsedAndOneFixIsRecordedOnce) {
  std::string body = kMoscow.substr(6);  // ",093015.00,A,..."
  for (const char* talker : {"$GPRMC", "$GNRMC", "$GLRMC", "$GARMC", "$GBRMC", "$BDRMC"}) {
    resetGpsIntake();
    EXPECT_EQ(14u, parseTick(talker + body).size()) << talker;
  }
  const std::string skipped[] = {
      "$GPRMCX" + body,            // no comma after the name
      "$gprmc" + body,             // case matters
      "$QZRMC" + body,             // not a talker of ours
      " $GPRMC" + body,            // not at the start of the line
      "$GPGGA,093015.00,5545.1234,N,03737.5678,E,1,08,1.1,59.9,M,23.7,M,,0000*7D\r\n",
  };
  for (const std::string& line : skipped) {
    resetGpsIntake();
    EXPECT_EQ("", parseTick(line)) << line;
    EXPECT_EQ("", fixDate()) << line;
    EXPECT_STREQ("", gpsIntake.fieldSlots[0]) << line;
  }

  // Two talkers' RMC for the same fix, in one tick or across two: one record.
  resetGpsIntake();
  EXPECT_EQ(14u, parseTick("$GPRMC" + body + "$GNRMC" + body).size());
  EXPECT_EQ("", parseTick("$GNRMC" + body));
  // The next second, or the same time on another day, is a new fix.
  std::string next = rmc("093016.00", "A", "5545.1234", "N", "03737.5678", "E", "060326");
  std::string nextDay = rmc("093016.00", "A", "5545.1234", "N", "03737.5678", "E", "070326");
  EXPECT_EQ(28u, parseTick(next + nextDay).size());
  // A line without a fix between them: the records it dropped are not kept,
  // so the same fix after it is recorded again.
  std::string v = rmc("093017.00", "V", "", "", "", "", "");
  EXPECT_EQ(14u, parseTick(nextDay + v + nextDay).size());
}

TEST_F(NmeaIntakeTest, ASentenceCutByAReadIsCompletedByTheNextWhereverTheCutFalls) {
  std::string fixes;
  for (int s = 0; s < 3; ++s)
    fixes += "$GPGSA,A,3,17,28,06,01,30,20,26,13,,,,,1.8,1.1,1.5*33\r\n" +
             rmc("10000" + std::to_string(s), "A", "1111.0000", "N", "02222.0000", "E", "010126");
  resetGpsIntake();
  const std::string whole = parseTick(fixes);
  ASSERT_EQ(42u, whole.size());
  // Every piece size, so the reads end at every byte of the text, the CR
  // and LF of a line end included.
  for (size_t piece = 1; piece <= fixes.size(); ++piece) {
    resetGpsIntake();
    std::string got;
    for (size_t at = 0; at < fixes.size(); at += piece) got += parseTick(fixes.substr(at, piece));
    ASSERT_EQ(whole, got) << "pieces of " << piece;
    EXPECT_EQ(0u, gpsIntake.carriedBytes);
  }
  // A bare LF or CR does not end a line: both sentences run together into
  // one line, whose fields are the first sentence's.
  resetGpsIntake();
  std::string lfOnly = kMoscow.substr(0, kMoscow.size() - 2) + "\n";
  EXPECT_EQ(14u, parseTick(lfOnly + kMoscow).size());
  // An empty line between sentences is harmless.
  resetGpsIntake();
  EXPECT_EQ(28u, parseTick(kMoscow + "\r\n" +
                           rmc("093016", "A", "1.0", "N", "2.0", "E", "060326")).size());
}

TEST_F(NmeaIntakeTest, WhatCannotBeCompletedIsNotCarriedOver) {
  // A NUL from the receiver ends the tick's text; the sentence it cut is
  // lost, and the next read starts afresh.
  EXPECT_EQ("", parseTick(kMoscow.substr(0, 30) + std::string(1, '\0') + kMoscow.substr(30)));
  EXPECT_EQ(0u, gpsIntake.carriedBytes);
  EXPECT_EQ(14u, parseTick(kMoscow).size());

  // An unfinished line that reaches the 1,024-byte limit is garbage: it is
  // dropped, and so is its rest up to the CR LF, even when that rest looks
  // like a sentence.
  resetGpsIntake();
  EXPECT_EQ("", parseTick(std::string(1023, 'x')));
  EXPECT_EQ(1023u, gpsIntake.carriedBytes);
  EXPECT_EQ("", parseTick("y"));
  EXPECT_EQ(0u, gpsIntake.carriedBytes);
  EXPECT_EQ("", parseTick(std::string(2000, 'z')));
  EXPECT_EQ("", parseTick(kMoscow));
  EXPECT_EQ(14u, parseTick(kMoscow).size());
  // 1,023 bytes carried still complete a line.
  resetGpsIntake();
  std::string fits = rmc("111111", "A", "1.0", "N", "2.0", "E", "070326");
  fits.insert(fits.size() - 2, 1023 - (fits.size() - 2), '9');
  parseTick(fits.substr(0, 1023));
  EXPECT_EQ(14u, parseTick(fits.substr(1023)).size());
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
  EXPECT_EQ(14u, parseTick("$GPRMC,1,A,1,N,1,E," + std::string(900, 'x') + "\r\n").size());
}

TEST_F(NmeaIntakeTest, MoreFieldsThanSlotsAndMoreRecordsThanTheBufferHoldAreDropped) {
  std::string many = "$GPRMC,010101,A,1.0,N,2.0,E,0,0,090326";
  for (int i = 10; i < 40; ++i) many += "," + std::to_string(i);
  parseTick(many + ",end\r\n");
  EXPECT_EQ(14, gpsIntake.recordBytes);
  EXPECT_STREQ("31", gpsIntake.fieldSlots[31]);

  // The shortest fix lines, each of its own time, fill a whole read with
  // fewer records than the buffer holds: all are kept, in order.
  resetGpsIntake();
  std::string flood;
  int lines = 0;
  for (;;) {
    std::string line = "$GPRMC," + std::to_string(lines) + ",A,1,N,1,E,\r\n";
    if (flood.size() + line.size() > kReadRequestBytes) break;
    flood += line;
    ++lines;
  }
  ASSERT_EQ(static_cast<size_t>(lines) * 14, parseTick(flood).size());
  EXPECT_EQ(std::to_string(lines - 1), gpsIntake.keptTime);
  // A later invalid line of the same tick still drops them all.
  resetGpsIntake();
  parseTick(flood + "$GPRMC,,V,\r\n");
  EXPECT_EQ(0, gpsIntake.recordBytes);
}

}  // namespace
