// The card identity: the text built from identification bytes, and the read
// from the card's disk device, simulated as a file in the device image.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "card/card_identity.h"
#include "platform/core/wide_text.h"
#include "tests/card/card_fixtures.h"

namespace {

std::string identityOf(const std::string& bytes) {
  BYTE buffer[kIdentificationBufferSize] = {};
  memcpy(buffer, bytes.data(), std::min(bytes.size(), sizeof buffer));
  char text[kIdentityTextSize];
  size_t length = buildCardIdentity(buffer, text);
  EXPECT_EQ(length, strlen(text));
  return text;
}

TEST(CardIdentityText, ManufacturerThenSerialAsUpperCaseHexUnlessMarkedInvalid) {
  const std::string id = std::string("\x03", 1) + std::string("\x12\xAB\x00\xFF", 4);
  struct {
    const char* what;
    std::string bytes;
    const char* identity;
  } cases[] = {
      {"both", identificationBytes(21, 0, 16, 17, id), "0312AB00FF"},
      {"manufacturer marked invalid", identificationBytes(21, 1, 16, 17, id), "12AB00FF"},
      {"serial marked invalid changes nothing", identificationBytes(21, 2, 16, 17, id), "0312AB00FF"},
      {"no manufacturer offset", identificationBytes(21, 0, 0, 17, id), "12AB00FF"},
      {"serial offset 0 starts at the header", identificationBytes(4, 1, 0, 0), "04000000"},
      {"manufacturer after the serial: none", identificationBytes(21, 0, 17, 16, id), "0312AB00FF"},
      {"size before the serial: no serial", identificationBytes(10, 0, 16, 17, id), "03"},
      {"empty", identificationBytes(16, 0, 0, 16), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.identity, identityOf(c.bytes)) << c.what;
}

TEST(CardIdentityText, SpansPastTheBufferStopAtItsEnd) {
  // A size far beyond the 512-byte buffer: the serial runs to the buffer's end.
  std::string bytes = identificationBytes(0xFFFFFFF0u, 1, 0, 500);
  bytes.resize(500);
  bytes += std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C", 12);
  EXPECT_EQ("0102030405060708090A0B0C", identityOf(bytes));
  // Offsets beyond the buffer give nothing rather than reading past it.
  EXPECT_EQ("", identityOf(identificationBytes(0xFFFFFFFFu, 0, 0x7FFFFFFFu, 0xFFFFFFF0u)));
  EXPECT_EQ("", identityOf(identificationBytes(600, 0, 0, 512)));
  // A manufacturer span running off the end stops there too, and the serial
  // (offset past the buffer) adds nothing.
  EXPECT_EQ(std::string(192, '0'), identityOf(identificationBytes(0, 0, 416, 1000)));
}

TEST(CardIdentityText, MoreThan127IdBytesAreCutToTheFirst127) {
  std::string id(300, '\xA5');
  id[0] = '\x11';
  std::string text = identityOf(identificationBytes(16 + 300, 0, 16, 16 + 100, id));
  ASSERT_EQ(254u, text.size());
  EXPECT_EQ("11A5", text.substr(0, 4));
  EXPECT_EQ(std::string::npos, text.find_first_not_of("A51"));
  // 127 exactly fit whole.
  EXPECT_EQ(254u, identityOf(identificationBytes(16 + 127, 1, 0, 16, id)).size());
}

class CardIdentityReadTest : public DeviceImageTest {
 protected:
  void insertCard(const std::string& bytes) { writeWholeFile(image->path("DSK2"), bytes); }
  static std::string cardIdentity() { return utf8FromUtf16(shared.cardIdentity); }
};

TEST_F(CardIdentityReadTest, NoCardLeavesTheIdentityAlone) {
  wcsncpy16(shared.cardIdentity, u"0312AB00FF", 1024);
  EXPECT_EQ(0, readCardIdentity());
  EXPECT_EQ("0312AB00FF", cardIdentity());
}

TEST_F(CardIdentityReadTest, ACardsIdentityReplacesTheWholeBuffer) {
  for (WCHAR& c : shared.cardIdentity) c = u'Z';
  insertCard(cardWith("\x03", std::string("\x12\xAB\x00\xFF", 4)));
  EXPECT_EQ(1, readCardIdentity());
  EXPECT_EQ("0312AB00FF", cardIdentity());
  for (size_t i = 10; i < 1024; ++i) ASSERT_EQ(0, shared.cardIdentity[i]) << i;
}

TEST_F(CardIdentityReadTest, ADeviceThatGivesNoIdentificationIsAFailedRead) {
  wcsncpy16(shared.cardIdentity, u"0312AB00FF", 1024);
  for (const char* what : {"short of a header", "a folder", "a read error"}) {
    SCOPED_TRACE(what);
    std::string dsk2 = image->path("DSK2");
    ::unlink(dsk2.c_str());
    ::rmdir(dsk2.c_str());
    HostCallsOverride calls;
    if (!strcmp(what, "short of a header")) insertCard(std::string("\x05\x00\x00", 3));
    if (!strcmp(what, "a folder")) {
      ASSERT_EQ(0, mkdir(dsk2.c_str(), 0777));
    }
    if (!strcmp(what, "a read error")) {
      insertCard(cardWith("\x03", "\x01\x02\x03\x04"));
      calls->pread = [](int, void*, size_t, off_t) -> ssize_t {
        errno = EIO;
        return -1;
      };
    }
    EXPECT_EQ(0, readCardIdentity());
    EXPECT_EQ("0312AB00FF", cardIdentity());
  }
}

TEST_F(CardIdentityReadTest, AnIdentificationLongerThanTheFileReadsTheSameEachTime) {
  // The header claims 64 bytes, the device gives 20: the rest reads as zeros,
  // never as stale memory, so the card stays the same card.
  insertCard(identificationBytes(64, 1, 0, 16, "\xDE\xAD\xBE\xEF"));
  ASSERT_EQ(1, readCardIdentity());
  std::string first = cardIdentity();
  EXPECT_EQ("DEADBEEF" + std::string(88, '0'), first);
  ASSERT_EQ(1, readCardIdentity());
  EXPECT_EQ(first, cardIdentity());
}

}  // namespace
