// The RMC parser and the line splitting: the record's bytes and its date,
// sentences that give nothing and cost nothing else, a sentence found at its
// '$' among binary bytes and noise, and input that does not fit the buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "gps/nmea_intake.h"
#include "gps/track_record.h"

namespace {

class NmeaIntakeTest : public ::testing::Test {
 protected:
  void SetUp() override { resetGpsIntake(); }

  // One tick that read `text`, after the sentence the previous one ended
  // inside, as the worker's tick puts them; returns the tick's records.
  std::string parseTick(const std::string& text) {
    static char buffer[kLineBytes + 70000];
    size_t carried = placeCarriedLine(buffer);
    memcpy(buffer + carried, text.data(), text.size());
    takeTickText(buffer, carried + text.size());
    return records();
  }
  std::string records() const {
    std::string out;
    for (int i = 0; i < gpsIntake.recordCount; ++i)
      out.append(reinterpret_cast<const char*>(gpsIntake.records[i].bytes), kTrackRecordBytes);
    return out;
  }
  // The records' dates, one per record.
  std::string dates() const {
    std::string out;
    for (int i = 0; i < gpsIntake.recordCount; ++i) out += std::string(gpsIntake.records[i].date) + " ";
    return out;
  }
  TrackRecord recordAt(int index) const { return decodeTrackRecord(gpsIntake.records[index].bytes); }
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
  EXPECT_EQ("060326 ", dates());

  TrackRecord r = recordAt(0);
  EXPECT_EQ(34215, r.utcSeconds);
  EXPECT_EQ(5545.12353515625f, r.latitude);
  EXPECT_EQ(3737.56787109375f, r.longitude);
  EXPECT_EQ('N', r.latRef);
  EXPECT_EQ('E', r.lonRef);
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
    ASSERT_EQ(1, gpsIntake.recordCount) << c.field;
    EXPECT_EQ(c.seconds, recordAt(0).utcSeconds) << c.field;
  }
  parseTick(rmc("120000", "A", "0000.0000", "N", "17518.8938", "W", "311214"));
  EXPECT_EQ(17518.8938f, recordAt(0).longitude);  // the packed form, not decimal degrees
  EXPECT_EQ('W', recordAt(0).lonRef);
}

// Each sentence is judged on its own: one without a valid fix of its own
// (void, another talker's void, a wrong checksum, a missing part, a date
// that is not six digits) gives nothing and leaves every other sentence of
// the read its record and its own date.
TEST_F(NmeaIntakeTest, ASentenceWithoutAValidFixCostsOnlyItself) {
  const std::string a1 = rmc("235959", "A", "1111.0000", "N", "02222.0000", "E", "080326");
  const std::string a2 = rmc("000000", "A", "3333.0000", "S", "04444.0000", "W", "090326");
  const std::string bad[] = {
      rmc("235959", "V", "5555.0000", "N", "06666.0000", "E", "080326"),
      "$GLRMC,235959.00,V,,,,,,,080326,,,N*4E\r\n",
      rmc("235959", "", "5555.0000", "N", "06666.0000", "E", "080326"),
      "$GPRMC,093015.00,A,5545.1234,N,03747.5678,E,0.13,309.62,060326,,,A*54\r\n",
      "$GPRMC,101010,A,\r\n",
      "$GPRMC,101010,A,1111.0000,S,\r\n",
      rmc("", "A", "1.0", "N", "2.0", "E", "070326"),
      rmc("101010", "A", "", "N", "2.0", "E", "070326"),
      rmc("101010", "A", "1.0", "", "2.0", "E", "070326"),
      rmc("101010", "A", "1.0", "N", "", "E", "070326"),
      rmc("101010", "A", "1.0", "N", "2.0", "", "070326"),
      rmc("101010", "A", "1.0", "N", "2.0", "E", ""),         // no date of its own
      rmc("101010", "A", "1.0", "N", "2.0", "E", "0703"),
      rmc("101010", "A", "1.0", "N", "2.0", "E", "0703261"),
      rmc("101010", "A", "1.0", "N", "2.0", "E", "..\\..\\"),  // would name another file
  };
  for (const std::string& b : bad) {
    resetGpsIntake();
    EXPECT_EQ("", parseTick(b)) << b;
    EXPECT_EQ(28u, parseTick(a1 + b + a2 + b).size()) << b;
    EXPECT_EQ("080326 090326 ", dates()) << b;
  }
}

TEST_F(NmeaIntakeTest, ALineWhoseChecksumFailsGivesNothing) {
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
  };
  for (const Case& c : cases) {
    resetGpsIntake();
    EXPECT_EQ(c.recorded ? 14u : 0u, parseTick(c.line + "\r\n").size()) << c.line;
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
      "$GPGGA,093015.00,5545.1234,N,03737.5678,E,1,08,1.1,59.9,M,23.7,M,,0000*7D\r\n",
  };
  for (const std::string& line : skipped) {
    resetGpsIntake();
    EXPECT_EQ("", parseTick(line)) << line;
  }

  // Two talkers' RMC for the same fix, in one tick or across two: one record.
  resetGpsIntake();
  EXPECT_EQ(14u, parseTick("$GPRMC" + body + "$GNRMC" + body).size());
  EXPECT_EQ("", parseTick("$GNRMC" + body));
  // The next second, or the same time on another day, is a new fix.
  std::string next = rmc("093016.00", "A", "5545.1234", "N", "03737.5678", "E", "060326");
  std::string nextDay = rmc("093016.00", "A", "5545.1234", "N", "03737.5678", "E", "070326");
  EXPECT_EQ(28u, parseTick(next + nextDay).size());
}

// Whatever comes before a '$' on its line is not part of the sentence:
// binary frames (NULs, CR LF and '$' bytes among them), a space, the start
// of a sentence that never ended. Binary bytes after the '$' make a line
// no sentence.
TEST_F(NmeaIntakeTest, ASentenceStartsAtItsDollarWhateverPrecedesIt) {
  const std::string frame("\xB5\x62\x01\x07\x00\x00\r\n\x24\x00\x03\xFF", 12);
  const std::string nul(1, '\0');
  const std::string fix2 = rmc("093016", "A", "1.0", "N", "2.0", "E", "060326");
  EXPECT_EQ(28u, parseTick(frame + kMoscow + frame + nul + nul + fix2 + frame).size());
  resetGpsIntake();
  EXPECT_EQ(14u, parseTick(" " + kMoscow).size());
  resetGpsIntake();
  EXPECT_EQ(14u, parseTick("$GPRMC,0930" + kMoscow).size());

  // Noise with no line end, then a valid sentence a few ticks later.
  resetGpsIntake();
  EXPECT_EQ("", parseTick("$GPRMC,12,A,55" + std::string("\x01\x80\x00", 3)));
  EXPECT_EQ("", parseTick(""));
  EXPECT_EQ("", parseTick(""));
  EXPECT_EQ(14u, parseTick(kMoscow).size());

  // A NUL, a binary byte or a lone CR inside a sentence spoils only it.
  for (const char* inside : {"\x00", "\x80", "\r", "\t"}) {
    resetGpsIntake();
    std::string spoiled = kMoscow;
    spoiled.replace(20, 1, inside, 1);
    EXPECT_EQ(14u, parseTick(spoiled + fix2).size()) << static_cast<int>(inside[0]);
    EXPECT_EQ(34216, recordAt(0).utcSeconds);
  }

  // Random bytes of every value between checksummed fixes cost none of them.
  resetGpsIntake();
  std::string text;
  unsigned seed = 7;
  for (int s = 0; s < 40; ++s) {
    for (int i = 0; i < 50; ++i) {
      seed = seed * 1103515245u + 12345u;
      text.push_back(static_cast<char>(seed >> 16));
    }
    std::string body = "GPRMC,1000" + std::string(s < 10 ? "0" : "") + std::to_string(s) +
                       ",A,5545.1234,N,03737.5678,E,0,0,060326,,";
    unsigned sum = 0;
    for (char c : body) sum ^= static_cast<unsigned char>(c);
    char star[8];
    snprintf(star, sizeof star, "*%02X\r\n", sum);
    text += "$" + body + star;
  }
  EXPECT_EQ(40u * 14, parseTick(text).size());
}

TEST_F(NmeaIntakeTest, ASentenceCutByAReadIsCompletedByTheNextWhereverTheCutFalls) {
  std::string fixes;
  for (int s = 0; s < 3; ++s)
    fixes += std::string("\xB5\x62\x00\r", 4) + "$GPGSA,A,3,17,28,06,01,30,20,26,13,,,,,1.8,1.1,1.5*33\r\n" +
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
}

TEST_F(NmeaIntakeTest, LinesAndFieldsTooLongForTheirBuffersAreSkipped) {
  // A sentence of 1,024 bytes or more cannot be one, whole or carried.
  std::string longLine = rmc("111111", "A", "1.0", "N", "2.0", "E", "070326");
  longLine.insert(longLine.size() - 2, 1024, '9');
  EXPECT_EQ("", parseTick(longLine));
  EXPECT_EQ("", parseTick(longLine.substr(0, 1030)));
  EXPECT_EQ(0u, gpsIntake.carriedBytes);
  EXPECT_EQ("", parseTick(longLine.substr(1030)));
  EXPECT_EQ(14u, parseTick(kMoscow).size());

  // 1,023 bytes still fit, also when carried.
  std::string fits = rmc("111111", "A", "1.0", "N", "2.0", "E", "070326");
  fits.insert(fits.size() - 2, 1023 - (fits.size() - 2), '9');
  ASSERT_EQ(1025u, fits.size());
  EXPECT_EQ(14u, parseTick(fits).size());
  resetGpsIntake();
  parseTick(fits.substr(0, 1023));
  EXPECT_EQ(14u, parseTick(fits.substr(1023)).size());

  // A field of 64 bytes or more makes a line no sentence; 63 fit.
  EXPECT_EQ("", parseTick(rmc("121212", "A", std::string(64, '1'), "S", "2.0", "W", "080326")));
  EXPECT_EQ(14u, parseTick(rmc("121212", "A", std::string(63, '1'), "S", "2.0", "W", "080326")).size());
  // Fields past the 32nd are not looked at.
  std::string many = "$GPRMC,010101,A,1.0,N,2.0,E,0,0,090326";
  for (int i = 10; i < 40; ++i) many += "," + std::to_string(i);
  EXPECT_EQ(14u, parseTick(many + ",end\r\n").size());
}

TEST_F(NmeaIntakeTest, AReadFullOfFixesKeepsThemAllInOrder) {
  // The shortest fix lines, each of its own time, fill a whole read with
  // fewer records than the tick holds.
  std::string flood;
  int lines = 0;
  for (;;) {
    std::string line = "$GPRMC," + std::to_string(lines) + ",A,1,N,1,E,,,010126,\r\n";
    if (flood.size() + line.size() > 65534) break;
    flood += line;
    ++lines;
  }
  ASSERT_EQ(static_cast<size_t>(lines) * 14, parseTick(flood).size());
  EXPECT_EQ(7200, recordAt(2).utcSeconds);  // "2": two o'clock
  const std::string last = records().substr(records().size() - 14);
  resetGpsIntake();
  EXPECT_EQ(last, parseTick("$GPRMC," + std::to_string(lines - 1) + ",A,1,N,1,E,,,010126,\r\n"));
}

}  // namespace
