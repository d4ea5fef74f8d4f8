// The card check over a device image: which reads count as a new card, what
// a new card gets (sizes, list, the main window in front), and that nothing
// moves while a batch is in progress.
#include <gtest/gtest.h>

#include <sys/statvfs.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "platform/ce.h"
#include "platform/core/wide_text.h"
#include "platform/user/windows.h"
#include "tests/card/card_fixtures.h"
#include "tests/support/window_fixture.h"

namespace {

const std::string kCardA = cardWith("\x03", std::string("\x12\xAB\x00\xFF", 4));  // 0312AB00FF
const std::string kCardB = cardWith("\x1B", std::string("\x00\x00\x42\x42", 4));  // 1B00004242

class CardCheckTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    cardSettleMilliseconds = 0;
    shared.mainWindow = makeWindow(0, u"main");
    ASSERT_NE(nullptr, shared.mainWindow);
    MessageRecorder::instance().clear();
  }
  void TearDown() override {
    cardSettleMilliseconds = 500;
    WindowTest::TearDown();
  }

  void insertCard(const std::string& identification) { writeWholeFile(image->path("DSK2"), identification); }
  void pullCard() { ::unlink(image->path("DSK2").c_str()); }
  void putPhotos() {
    putCardFile(*image, "DCIM/IMG_0001.JPG");
    putCardFile(*image, "DCIM/100PHOTO/DSC_0007.jpg");
  }
  // What the entry does at start: the card in the slot, if any, is the card
  // last seen.
  void boot() {
    readCardIdentity();
    memcpy(shared.prevCardIdentity, shared.cardIdentity, sizeof shared.prevCardIdentity);
  }
  static std::string prev() { return utf8FromUtf16(shared.prevCardIdentity); }
  static bool shown() { return IsWindowVisible(shared.mainWindow) != 0; }
};

TEST_F(CardCheckTest, AFailedReadMarksTheSlotEmptyAndChangesNothingElse) {
  for (const char* slot : {"no card", "a device that answers nothing"}) {
    SCOPED_TRACE(slot);
    if (!strcmp(slot, "a device that answers nothing")) insertCard("");
    for (WCHAR& c : shared.prevCardIdentity) c = u'7';
    wcsncpy16(shared.cardIdentity, u"0312AB00FF", 1024);
    shared.cardTotalKb = 123;
    shared.photoCount = 4;
    checkCard();
    EXPECT_EQ("xxxxxxxxxx", prev());
    EXPECT_EQ(u'7', shared.prevCardIdentity[11]);  // only the marker and its NUL are written
    EXPECT_EQ("0312AB00FF", utf8FromUtf16(shared.cardIdentity));
    EXPECT_EQ(123u, shared.cardTotalKb.load());
    EXPECT_EQ(4, shared.photoCount.load());
    EXPECT_FALSE(shown());
  }
}

TEST_F(CardCheckTest, ACardInAtBootIsOfferedOnlyAfterItHasBeenOutOfTheSlot) {
  insertCard(kCardA);
  putPhotos();
  boot();
  checkCard();
  checkCard();
  EXPECT_EQ(0, shared.photoCount.load());
  EXPECT_FALSE(shown());

  pullCard();
  checkCard();
  EXPECT_EQ("xxxxxxxxxx", prev());
  insertCard(kCardA);  // the same card again
  checkCard();
  EXPECT_EQ(2, shared.photoCount.load());
  EXPECT_TRUE(shown());
  EXPECT_EQ("0312AB00FF", prev());
}

TEST_F(CardCheckTest, ANewCardWithPhotosIsMeasuredListedAndBroughtToTheFront) {
  boot();  // no card: an empty identity is the card last seen
  checkCard();
  EXPECT_EQ("xxxxxxxxxx", prev());
  insertCard(kCardA);
  putPhotos();
  shared.stopRequested = 1.0f;  // an EXIT touched for an earlier card
  shared.progressPercent = 100.0f;
  checkCard();

  struct statvfs fs;
  ASSERT_EQ(0, statvfs(image->path("SDMMC").c_str(), &fs));
  uint64_t totalKb = static_cast<uint64_t>(fs.f_blocks) * fs.f_frsize / 1024;
  uint64_t freeKb = static_cast<uint64_t>(fs.f_bfree) * fs.f_frsize / 1024;
  EXPECT_EQ(static_cast<uint32_t>(totalKb), shared.cardTotalKb.load());
  // The file system is in use by others: its free space may move a little.
  EXPECT_NEAR(static_cast<double>(freeKb), shared.cardFreeKb.load(), 64.0 * 1024);
  EXPECT_EQ(2, shared.photoCount.load());
  EXPECT_EQ(0.0f, shared.stopRequested.load());
  EXPECT_EQ(0.0f, shared.progressPercent.load());
  EXPECT_EQ("0312AB00FF", prev());

  EXPECT_TRUE(shown());
  EXPECT_EQ(shared.mainWindow, foregroundWindow());
  std::vector<UINT> seen = MessageRecorder::instance().takeMessages(shared.mainWindow);
  auto showAt = std::find(seen.begin(), seen.end(), WM_SHOWWINDOW);
  auto paintAt = std::find(seen.begin(), seen.end(), WM_PAINT);
  ASSERT_NE(seen.end(), showAt);
  EXPECT_NE(seen.end(), paintAt) << "painted at once, not at the next message loop turn";
  EXPECT_LT(showAt, paintAt);
}

TEST_F(CardCheckTest, ACardWithoutPhotosIsRememberedAndNotShown) {
  shared.cardTotalKb = 1;
  insertCard(kCardA);
  checkCard();
  EXPECT_NE(1u, shared.cardTotalKb.load());
  EXPECT_EQ(0, shared.photoCount.load());
  EXPECT_FALSE(shown());
  EXPECT_EQ("0312AB00FF", prev());
  // Photos appearing on the same card do not make it new.
  putPhotos();
  checkCard();
  EXPECT_EQ(0, shared.photoCount.load());
  EXPECT_FALSE(shown());
}

TEST_F(CardCheckTest, OnlyTheFirstTwentyCharactersTellCardsApart) {
  putPhotos();
  // Ten equal identification bytes, then a difference: the same card.
  std::string serial("\x01\x23\x45\x67\x89\xAB\xCD\xEF\x01\x23\xAA", 11);
  wcsncpy16(shared.prevCardIdentity, u"0123456789ABCDEF0123BB", 1024);
  insertCard(cardWith("", serial, 1));
  checkCard();
  EXPECT_EQ(0, shared.photoCount.load());
  EXPECT_EQ("0123456789ABCDEF0123BB", prev());
  // A difference in the twentieth character: a new card.
  wcsncpy16(shared.prevCardIdentity, u"0123456789ABCDEF0124AA", 1024);
  checkCard();
  EXPECT_EQ(2, shared.photoCount.load());
  EXPECT_EQ("0123456789ABCDEF0123AA", prev());
}

struct FakeSpace {
  static inline std::atomic<int> calls{0};
  static inline uint64_t blocks = 0, freeBlocks = 0;
  static inline int failFrom = 1000;  // the query number from which statvfs fails
  static int statvfs(const char*, struct statvfs* st) {
    if (++calls >= failFrom) {
      errno = EIO;
      return -1;
    }
    memset(st, 0, sizeof *st);
    st->f_frsize = st->f_bsize = 4096;
    st->f_blocks = blocks;
    st->f_bfree = st->f_bavail = freeBlocks;
    ++blocks;  // the second query reports one block more than the first
    return 0;
  }
};

TEST_F(CardCheckTest, SizesAreWholeKibOfTheLastQueryThatSucceeded) {
  HostCallsOverride calls;
  calls->statvfs = FakeSpace::statvfs;
  struct {
    const char* what;
    uint64_t firstBlocks;
    int failFrom;
    uint32_t totalKb, freeKb;
  } cases[] = {
      {"8 GiB, second query wins", 8589934592ull / 4096 - 1, 1000, 8388608, 4},
      {"4 GiB, second query wins", 4294967296ull / 4096 - 1, 1000, 4194304, 4},
      {"second query fails: the first stands", 4294967296ull / 4096, 2, 4194304, 4},
      {"both fail: zero", 100, 1, 0, 0},
  };
  const std::string* card = &kCardA;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSpace::calls = 0;
    FakeSpace::blocks = c.firstBlocks;
    FakeSpace::freeBlocks = 1;
    FakeSpace::failFrom = c.failFrom;
    shared.cardTotalKb = 77;
    card = card == &kCardA ? &kCardB : &kCardA;  // a new card each time
    insertCard(*card);
    checkCard();
    EXPECT_EQ(2, FakeSpace::calls.load());
    EXPECT_EQ(c.totalKb, shared.cardTotalKb.load());
    EXPECT_EQ(c.freeKb, shared.cardFreeKb.load());
  }
}

TEST_F(CardCheckTest, NoCardIsExaminedWhileABatchIsInProgress) {
  insertCard(kCardA);
  boot();
  PhotoEntry* batchList = shared.photoList.load();
  shared.batchActive = 1;  // START touched; lasts until the closing message is dismissed
  insertCard(kCardB);
  putPhotos();
  checkCard();
  pullCard();
  checkCard();  // not even a removal is noted
  EXPECT_EQ("0312AB00FF", prev());
  EXPECT_EQ(batchList, shared.photoList.load());
  EXPECT_FALSE(shown());

  shared.batchActive = 0;
  insertCard(kCardB);
  checkCard();  // the first tick after the batch
  EXPECT_EQ("1B00004242", prev());
  EXPECT_EQ(2, shared.photoCount.load());
  EXPECT_TRUE(shown());
}

TEST_F(CardCheckTest, AStartTouchedWhileANewCardSettlesKeepsItsList) {
  HostCallsOverride calls;
  // START comes between the two free-space queries.
  calls->statvfs = [](const char* path, struct statvfs* st) {
    if (++FakeSpace::calls == 2) shared.batchActive = 1;
    return realHostCalls().statvfs(path, st);
  };
  FakeSpace::calls = 0;
  shared.cardTotalKb = 5;
  insertCard(kCardA);
  putPhotos();
  checkCard();
  EXPECT_EQ(0, shared.photoCount.load());
  EXPECT_EQ(5u, shared.cardTotalKb.load());
  EXPECT_EQ("", prev());  // the card is still to be examined
  shared.batchActive = 0;
  checkCard();
  EXPECT_EQ(2, shared.photoCount.load());
}

TEST_F(CardCheckTest, TheWorkersWindowCallsRunOnTheWindowsOwnThread) {
  insertCard(kCardA);
  putPhotos();
  std::atomic<bool> done{false};
  std::thread worker([&] {
    checkCard();
    done = true;
  });
  EXPECT_TRUE(pumpUntil([&] { return done.load(); }, 5000));
  worker.join();
  EXPECT_TRUE(shown());
  EXPECT_EQ(shared.mainWindow, foregroundWindow());
  bool painted = false;
  for (const SeenMessage& m : MessageRecorder::instance().take()) {
    if (m.window != shared.mainWindow) continue;
    EXPECT_EQ(GetCurrentThreadId(), m.threadId) << messageName(m.message);
    painted = painted || m.message == WM_PAINT;
  }
  EXPECT_TRUE(painted);
}

}  // namespace
