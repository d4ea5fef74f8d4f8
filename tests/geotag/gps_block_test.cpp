#include "geotag/gps_block.h"

#include <gtest/gtest.h>

#include "platform/core/byte_order.h"

namespace {

TEST(GpsBlockTest, CoordinatesSplitThroughTheirFourDecimalText) {
  struct Case {
    float packed;
    uint32_t degrees, minutes;
  } cases[] = {
      {5545.1234f, 55, 451235}, {3730.1234f, 37, 301233}, {13745.5f, 137, 455000},
      {530.1234f, 5, 301234},   {45.5f, 0, 455000},       {0.0f, 0, 0},
      {18000.0f, 180, 0},
  };
  for (const Case& c : cases) {
    DegreesMinutes dm;
    ASSERT_TRUE(splitDegreesMinutes(c.packed, 18000.0f, &dm)) << c.packed;
    EXPECT_EQ(dm.degrees, c.degrees) << c.packed;
    EXPECT_EQ(dm.minutes, c.minutes) << c.packed;
  }
  // The minutes text 45.1234 times 10000 is 451233.99999999994, truncated.
  DegreesMinutes dm;
  ASSERT_TRUE(splitDegreesMinutes(45.1234f, 9000.0f, &dm));
  EXPECT_EQ(dm.minutes, 451233u);
}

TEST(GpsBlockTest, ValuesThatCannotBeACoordinateAreRefused) {
  DegreesMinutes dm;
  for (float bad : {-0.5f, 9000.5f, 1e30f, __builtin_inff(), __builtin_nanf("")})
    EXPECT_FALSE(splitDegreesMinutes(bad, 9000.0f, &dm)) << bad;
}

TEST(GpsBlockTest, TheBlockCarriesTheLettersOffsetsAndNumerators) {
  uint8_t b[kGpsIfdBytes];
  fillGpsBlock(b, 1000, 'S', {55, 451235}, 'W', {137, 455000});
  EXPECT_EQ(b[22], 'S');
  EXPECT_EQ(b[46], 'W');
  EXPECT_EQ(readLe16(b + 34), 1078);
  EXPECT_EQ(readLe16(b + 58), 1102);
  EXPECT_EQ(b[36] | b[37], 0);
  auto le32 = [&](int at) { return readLe32(b + at); };
  EXPECT_EQ(le32(66), 55u);
  EXPECT_EQ(le32(74), 451235u);
  EXPECT_EQ(le32(78), 10000u);
  EXPECT_EQ(le32(90), 137u);
  EXPECT_EQ(le32(98), 455000u);
  EXPECT_EQ(le32(82), 0u);
  EXPECT_EQ(le32(86), 1u);
  EXPECT_EQ(b[0], 5);
  EXPECT_EQ(b[114], 0);
  // The untouched template bytes: version 2.2.0.0, count 4.
  EXPECT_EQ(b[10], 2);
  EXPECT_EQ(b[11], 2);
}

}  // namespace
