// The daily track log against a real device image: which day file each
// record goes to, standing aside for a batch and writing the fixes held
// meanwhile, and keeping every file a whole number of records through torn
// writes, short writes and failed opens.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/state/shared_state.h"
#include "gps/nmea_intake.h"
#include "gps/track_log.h"
#include "gps/track_record.h"
#include "platform/ce.h"
#include "platform/core/host_calls.h"
#include "tests/geotag/track_log.h"
#include "gps/recorder_notices.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/wait_for.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"

namespace {

std::string rec(int32_t seconds) { return recordBytes({seconds}); }

// Records of one date, as the intake hands them on.
std::vector<DatedRecord> dated(const char* date, const std::string& records) {
  std::vector<DatedRecord> out(records.size() / kTrackRecordBytes);
  for (size_t i = 0; i < out.size(); ++i) {
    strncpy(out[i].date, date, kFixDateBytes - 1);
    memcpy(out[i].bytes, records.data() + i * kTrackRecordBytes, kTrackRecordBytes);
  }
  return out;
}

class TrackLogTest : public DeviceImageTest {
 protected:
  void SetUp() override {
    DeviceImageTest::SetUp();
    resetGpsIntake();
    resetTrackLog();
    CreateDirectoryW(kTrackLogFolder, nullptr);
  }
  void TearDown() override {
    closeTrackLogAtExit();
    DeviceImageTest::TearDown();
  }

  void tick(const char* date, const std::string& records) {
    std::vector<DatedRecord> r = dated(date, records);
    appendTrackRecords(r.data(), static_cast<int>(r.size()));
  }
  // One tick of receiver text through the parser and the log step.
  void textTick(const std::string& text) {
    takeTickText(text.data(), text.size());
    appendTrackRecords(gpsIntake.records, gpsIntake.recordCount);
  }
  std::string dayFile(const std::string& date) { return logPath(*image, date); }
  std::string day(const std::string& date) { return readWholeFile(dayFile(date)); }
  // What the track lookup does during a batch: a shared read of the day.
  bool lookupCanOpen(const char* date) {
    WCHAR name[64];
    trackLogPath(date, name, 64);
    HANDLE h = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    CloseHandle(h);
    return true;
  }
};

const char kDay[] = "060326";

TEST_F(TrackLogTest, TheFirstFixCreatesItsDayWhichLaterTicksAndRunsAppendTo) {
  tick(kDay, "");  // nothing to write: no file is made
  EXPECT_EQ(0, shared.logOpen);
  EXPECT_FALSE(fileExists(dayFile(kDay)));

  tick(kDay, rec(3));
  EXPECT_EQ(1, shared.logOpen);
  tick(kDay, rec(5) + rec(6));
  EXPECT_EQ(rec(3) + rec(5) + rec(6), day(kDay));

  // The program ends and starts again the same day.
  closeTrackLogAtExit();
  EXPECT_EQ(0, shared.logOpen);
  resetTrackLog();
  tick(kDay, rec(7));
  EXPECT_EQ(rec(3) + rec(5) + rec(6) + rec(7), day(kDay));
}

// Midnight, a receiver's date jump and void sentences, all within single
// reads: every fix is filed by its own sentence's date, and one write per
// day touched carries them.
TEST_F(TrackLogTest, EachFixGoesToTheDayOfItsOwnSentence) {
  auto line = [](const char* time, const char* status, const char* date) {
    return std::string("$GPRMC,") + time + "," + status + ",5545.1234,N,03737.5678,E,0,0," +
           date + ",,,A\r\n";
  };
  textTick(line("235958", "A", "080326"));
  textTick(line("235959", "A", "080326") + line("000000", "A", "090326"));
  EXPECT_EQ(rec(86398) + rec(86399), day("080326"));
  EXPECT_EQ(rec(0), day("090326"));

  // A void line, one without a date and one with a damaged date give
  // nothing and cost the others nothing.
  textTick(line("000001", "A", "090326") + line("000002", "V", "090326") +
           line("000003", "A", "") + line("000004", "A", "09/326") + line("000005", "A", "090326"));
  EXPECT_EQ(rec(0) + rec(1) + rec(5), day("090326"));
  EXPECT_EQ(1, shared.logOpen);

  // A receiver jumping between dates: one write per day, in arrival order.
  HostCallsOverride calls;
  static int writes;
  writes = 0;
  calls->write = [](int fd, const void* b, size_t n) { ++writes; return realHostCalls().write(fd, b, n); };
  textTick(line("000006", "A", "090326") + line("000007", "A", "220899") +
           line("000008", "A", "090326"));
  EXPECT_EQ(2, writes);
  EXPECT_EQ(rec(0) + rec(1) + rec(5) + rec(6) + rec(8), day("090326"));
  EXPECT_EQ(rec(7), day("220899"));
}

TEST_F(TrackLogTest, TheLogStandsAsideFromStartUntilTheLastLookupAndKeepsTheFixesMeanwhile) {
  tick(kDay, rec(1));
  ASSERT_FALSE(lookupCanOpen(kDay));  // held without sharing

  closeTrackLogForBatch();  // START
  EXPECT_EQ(1, shared.batchRunning);
  EXPECT_EQ(0, shared.logOpen);
  EXPECT_EQ(nullptr, shared.logFile.load());
  EXPECT_EQ(1, shared.logHeldForBatch);
  EXPECT_TRUE(lookupCanOpen(kDay));
  tick(kDay, rec(2));
  tick("070326", rec(3));
  EXPECT_TRUE(lookupCanOpen(kDay));

  // EXIT clears batchRunning while the last photo is still being tagged:
  // the log stays closed until that photo has been looked up.
  shared.batchRunning = 0;
  tick(kDay, rec(4));
  EXPECT_EQ(0, shared.logOpen);
  EXPECT_TRUE(lookupCanOpen(kDay));
  EXPECT_EQ(rec(1), day(kDay));

  // The last lookup is done (the message may still be up): the held fixes
  // are written, in order, before the tick's own.
  shared.logHeldForBatch = 0;
  tick(kDay, rec(5));
  EXPECT_EQ(1, shared.logOpen);
  EXPECT_EQ(rec(1) + rec(2) + rec(4) + rec(5), day(kDay));
  EXPECT_EQ(rec(3), day("070326"));

  // Should the log be held while it is still open, the log step itself
  // closes the file rather than hold it through the batch.
  shared.logHeldForBatch = 1;
  tick(kDay, rec(6));
  EXPECT_EQ(0, shared.logOpen);
  EXPECT_TRUE(lookupCanOpen(kDay));
  shared.logHeldForBatch = 0;
}

TEST_F(TrackLogTest, ABatchLongerThanTheHeldBoundLosesOnlyTheNewestFixesAndSaysSoOnce) {
  closeTrackLogForBatch();
  std::string all;
  for (int32_t s = 0; s < kHeldRecordCapacity + 20; ++s) all += rec(s % 86400);
  ::testing::internal::CaptureStderr();
  for (size_t at = 0; at < all.size(); at += 10 * kTrackRecordBytes)
    tick(kDay, all.substr(at, 10 * kTrackRecordBytes));
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(1u, std::count(said.begin(), said.end(), '\n')) << said;
  EXPECT_NE(std::string::npos, said.find("36000 fixes held")) << said;
  shared.batchRunning = 0;
  shared.logHeldForBatch = 0;
  tick(kDay, rec(7));
  EXPECT_TRUE(day(kDay) == all.substr(0, kHeldRecordCapacity * kTrackRecordBytes) + rec(7));
}

TEST_F(TrackLogTest, AppendsStartAtTheLastWholeRecordAfterATornWrite) {
  std::string old = rec(1) + rec(2) + rec(3);
  ASSERT_TRUE(writeWholeFile(dayFile("060326"), old + rec(4).substr(0, 5)));
  tick("060326", rec(5));
  EXPECT_EQ(old + rec(5), day("060326"));

  // A whole file is left as it is.
  closeTrackLogAtExit();
  resetTrackLog();
  tick("060326", rec(6));
  EXPECT_EQ(old + rec(5) + rec(6), day("060326"));
}

TEST_F(TrackLogTest, AWriteCutShortLeavesTheFileWholeForTheNextTick) {
  tick("060326", rec(1));
  {
    HostCallsOverride calls;
    static int writes;
    writes = 0;
    calls->write = [](int fd, const void* buf, size_t n) -> ssize_t {
      if (++writes == 1) return realHostCalls().write(fd, buf, n < 5 ? n : 5);  // then full
      errno = ENOSPC;
      return -1;
    };
    tick("060326", rec(2) + rec(3));
  }
  EXPECT_EQ(rec(1), day("060326"));
  tick("060326", rec(4));
  EXPECT_EQ(rec(1) + rec(4), day("060326"));
}

// Fixes lost to a full flash, or to a day file refused (a FIFO where the
// day's file should be), are said on standard error with the path and the
// reason: once while the trouble lasts, again once writing has worked.
TEST_F(TrackLogTest, FixesThatCannotBeWrittenAreSaidOnceUntilWritingWorksAgain) {
  resetRecorderNotices();
  const std::string lost =
      "fixes cannot be written to \\ResidentFlash\\vellumtrace\\060326.log: write " +
      dayFile("060326");
  testing::internal::CaptureStderr();
  tick("060326", rec(1));
  {
    HostCallsOverride calls;
    calls->write = [](int, const void*, size_t) -> ssize_t {
      errno = ENOSPC;
      return -1;
    };
    for (int i = 2; i < 6; i++) tick("060326", rec(i));
  }
  tick("060326", rec(6));
  {
    HostCallsOverride calls;
    calls->write = [](int, const void*, size_t) -> ssize_t {
      errno = ENOSPC;
      return -1;
    };
    tick("060326", rec(7));
  }
  closeTrackLogAtExit();
  resetTrackLog();
  ASSERT_EQ(0, mkfifo(dayFile("070326").c_str(), 0600));
  for (int i = 8; i < 11; i++) tick("070326", rec(i));
  std::string err = testing::internal::GetCapturedStderr();

  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = err.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(err.substr(at, end - at));
  ASSERT_EQ(3u, lines.size()) << err;
  for (int i : {0, 1}) {
    EXPECT_NE(std::string::npos, lines[i].find(lost)) << lines[i];
    EXPECT_NE(std::string::npos, lines[i].find("No space left on device")) << lines[i];
  }
  EXPECT_NE(std::string::npos,
            lines[2].find("fixes cannot be written to \\ResidentFlash\\vellumtrace\\070326.log: "))
      << lines[2];
  EXPECT_EQ(rec(1) + rec(6), day("060326"));
}

TEST_F(TrackLogTest, EachTicksWriteIsFlushedToStorageBeforeItReturns) {
  HostCallsOverride calls;
  static int syncs;
  syncs = 0;
  calls->fdatasync = [](int fd) { ++syncs; return realHostCalls().fdatasync(fd); };
  calls->fsync = [](int fd) { ++syncs; return realHostCalls().fsync(fd); };
  tick("060326", rec(1));
  EXPECT_EQ(1, syncs);
  tick("060326", "");
  EXPECT_EQ(1, syncs);
  tick("060326", rec(2) + rec(3));
  EXPECT_EQ(2, syncs);
}

TEST_F(TrackLogTest, ADayFileThatCannotBeOpenedIsTriedAgainOnTheNextTick) {
  {
    HostCallsOverride calls;
    calls->open = [](const char* path, int flags, mode_t mode) {
      if (strstr(path, ".log")) {
        errno = EMFILE;
        return -1;
      }
      return realHostCalls().open(path, flags, mode);
    };
    tick("060326", rec(1));
    EXPECT_EQ(0, shared.logOpen);
  }
  tick("060326", rec(2));
  EXPECT_EQ(1, shared.logOpen);
  EXPECT_EQ(rec(2), day("060326"));
}

// The worker ticks while the UI thread starts batches: once START's close
// has returned no handle is open, and nothing is written until the batch is
// over. Run under ThreadSanitizer this also checks the hand-over is ordered.
TEST(TrackLogPath, NamesTheDayFileAfterTheDateAsGiven) {
  struct Case {
    const char* date;
    size_t size;
    std::u16string path;
  } cases[] = {
      {"060326", 64, u"\\ResidentFlash\\vellumtrace\\060326.log"},
      {"0603261", 64, u"\\ResidentFlash\\vellumtrace\\060326.log"},  // six characters at most
      {"0603", 64, u"\\ResidentFlash\\vellumtrace\\0603.log"},       // a short text ends at its NUL
      {"060326", 14, u"\\ResidentFlas"},                                 // cut, and terminated
  };
  for (const Case& c : cases) {
    WCHAR path[64];
    trackLogPath(c.date, path, c.size);
    EXPECT_EQ(c.path, std::u16string(path)) << c.date;
  }
}

TEST_F(TrackLogTest, StartClosesTheLogBetweenTwoWorkerTicksNeverDuringOne) {
  tick("060326", rec(1));
  std::atomic<bool> stop{false};
  std::atomic<int> ticks{0};
  std::thread worker([&] {
    std::string r = rec(1);
    while (!stop) {
      std::vector<DatedRecord> one = dated(kDay, r);
      appendTrackRecords(one.data(), 1);
      ++ticks;
      std::this_thread::yield();
    }
  });
  // Some ticks between one START and the next, and some during each batch.
  auto letTicksPass = [&] {
    const int from = ticks.load();
    ASSERT_TRUE(waitFor([&] { return ticks.load() >= from + 3; }));
  };
  for (int round = 0; round < 40; ++round) {
    letTicksPass();
    closeTrackLogForBatch();
    EXPECT_EQ(0, shared.logOpen);
    EXPECT_TRUE(lookupCanOpen(kDay)) << round << " " << GetLastError();
    size_t size = day("060326").size();
    letTicksPass();
    EXPECT_EQ(size, day("060326").size()) << round;
    EXPECT_EQ(0u, size % 14);
    shared.batchRunning = 0;
    shared.logHeldForBatch = 0;
  }
  stop = true;
  worker.join();
  EXPECT_EQ(0u, day("060326").size() % 14);
}

}  // namespace
