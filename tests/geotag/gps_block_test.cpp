#include "geotag/gps_block.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

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

// The block read back as a TIFF reader reads an IFD: the entries by tag, each
// value from its entry or from the TIFF offset it names. `at` is where the
// block sits in the TIFF data; values outside the block are reported empty.
struct Entry {
  uint16_t type = 0;
  uint32_t count = 0;
  std::string bytes;  // the value's bytes, wherever they are stored
};
struct ReadBack {
  std::map<uint16_t, Entry> entries;
  uint32_t nextIfd = ~0u;
  bool valuesInside = true;
};

uint32_t le(const uint8_t* p, int n) {
  uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
  return v;
}

ReadBack readBack(const uint8_t* block, uint32_t at) {
  ReadBack r;
  const uint32_t count = le(block, 2);
  if (2 + 12 * count + 4 > kGpsIfdBytes) return r;
  const uint32_t valuesFrom = 2 + 12 * count + 4;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = block + 2 + 12 * i;
    Entry entry;
    entry.type = static_cast<uint16_t>(le(e + 2, 2));
    entry.count = le(e + 4, 4);
    const uint32_t unit = entry.type == 5 ? 8 : entry.type == 3 ? 2 : entry.type == 4 ? 4 : 1;
    const uint32_t size = unit * entry.count;
    if (size <= 4) {
      entry.bytes.assign(reinterpret_cast<const char*>(e + 8), size);
    } else {
      const uint32_t offset = le(e + 8, 4);
      if (offset < at + valuesFrom || offset - at + size > kGpsIfdBytes) {
        r.valuesInside = false;
      } else {
        entry.bytes.assign(reinterpret_cast<const char*>(block + (offset - at)), size);
      }
    }
    r.entries[static_cast<uint16_t>(le(e, 2))] = entry;
  }
  r.nextIfd = le(block + 2 + 12 * count, 4);
  return r;
}

// A RATIONAL triple as "d/1 m/10000 s/1".
std::string rationals(const std::string& bytes) {
  std::string out;
  for (size_t at = 0; at + 8 <= bytes.size(); at += 8) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data() + at);
    out += (out.empty() ? "" : " ") + std::to_string(le(p, 4)) + "/" + std::to_string(le(p + 4, 4));
  }
  return out;
}

TEST(GpsBlockTest, TheBlockReadsBackAsAGpsIfdWithItsValuesInsideIt) {
  struct Case {
    uint32_t ifd1;
    char latRef;
    DegreesMinutes lat;
    char lonRef;
    DegreesMinutes lon;
    const char* latitude;
    const char* longitude;
  } const cases[] = {
      {1000, 'S', {55, 451235}, 'W', {137, 455000}, "55/1 451235/10000 0/1", "137/1 455000/10000 0/1"},
      {816, 'N', {0, 0}, 'E', {180, 0}, "0/1 0/10000 0/1", "180/1 0/10000 0/1"},
      {60000, 'N', {48, 542500}, 'E', {2, 199800}, "48/1 542500/10000 0/1", "2/1 199800/10000 0/1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ifd1);
    uint8_t block[kGpsIfdBytes];
    fillGpsBlock(block, c.ifd1, c.latRef, c.lat, c.lonRef, c.lon);
    // The block goes in front of the old IFD1, after the new IFD0 entry.
    const ReadBack r = readBack(block, c.ifd1 + 12);
    ASSERT_EQ(r.entries.size(), 5u);
    EXPECT_TRUE(r.valuesInside);
    EXPECT_EQ(r.nextIfd, 0u);
    const struct {
      uint16_t tag, type;
      uint32_t count;
    } layout[] = {{0, 1, 4}, {1, 2, 2}, {2, 5, 3}, {3, 2, 2}, {4, 5, 3}};
    for (const auto& l : layout) {
      ASSERT_EQ(r.entries.count(l.tag), 1u) << l.tag;
      EXPECT_EQ(r.entries.at(l.tag).type, l.type) << l.tag;
      EXPECT_EQ(r.entries.at(l.tag).count, l.count) << l.tag;
    }
    EXPECT_EQ(r.entries.at(0).bytes, std::string("\2\2\0\0", 4)) << "version 2.2.0.0";
    EXPECT_EQ(r.entries.at(1).bytes, std::string(1, c.latRef) + std::string(1, 0));
    EXPECT_EQ(r.entries.at(3).bytes, std::string(1, c.lonRef) + std::string(1, 0));
    EXPECT_EQ(rationals(r.entries.at(2).bytes), c.latitude);
    EXPECT_EQ(rationals(r.entries.at(4).bytes), c.longitude);
    EXPECT_EQ(block[kGpsIfdBytes - 1], 0);
  }
}

}  // namespace
