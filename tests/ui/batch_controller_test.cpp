// The tagging batch through the window procedure: which touches start and
// stop it, what each tick invalidates, how it ends, and the commands.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "app/state/shared_state.h"
#include "tests/card/card_fixtures.h"
#include "tests/geotag/track_log.h"
#include "tests/support/screen_fixture.h"
#include "tools/photogen/camera_photo.h"
#include "ui/batch_controller.h"
#include "platform/user/message_queue.h"
#include "res/resource_ids.h"

namespace {

const char kFinished[] = "Запись GPS завершена";
const char kCancelled[] = "Действие отменено!";

std::string closing(int tagged, int total) {
  return "Обработано фотографий: " + std::to_string(tagged) + " из " + std::to_string(total) +
         " фотографий.";
}

class BatchTest : public ScreenTest {
 protected:
  // Takes the batch back to idle between the cases of one test.
  void resetScreen(int photos) {
    KillTimer(window, kBatchTimerId);
    shared.batchActive = 0;
    shared.batchRunning = 0;
    shared.logHeldForBatch = 0;
    shared.stopRequested = 0.0f;
    listPhotos(photos);
    ShowWindow(window, SW_SHOW);
    boxes.clear();
    takeInvalidations();
  }
  // Runs ticks until the closing message has been shown; returns the count.
  int runToEnd(int limit = 1000) {
    int ticks = 0;
    while (boxes.empty() && ticks < limit) {
      tick();
      ++ticks;
    }
    return ticks;
  }
};

TEST_F(BatchTest, TouchRegionsHaveInclusiveBounds) {
  enum Hit { kNone, kStart, kExit };
  struct Case {
    unsigned x, y;
    Hit hit;
  } cases[] = {
      {10, 205, kNone},  {11, 205, kStart}, {89, 205, kStart}, {90, 205, kNone},
      {50, 195, kNone},  {50, 196, kStart}, {50, 214, kStart}, {50, 215, kNone},
      {50, 225, kNone},  {50, 235, kNone},  {50, 236, kExit},  {50, 259, kExit},
      {50, 260, kNone},  {10, 245, kNone},  {90, 245, kNone},  {11, 245, kExit},
      {89, 259, kExit},  {65535, 205, kNone}, {50, 65535, kNone},
  };
  for (const Case& c : cases) {
    resetScreen(3);
    touch(c.x, c.y);
    const bool started = shared.batchActive.load() == 1;
    const bool exited = !shown() && shared.stopRequested.load() == 1.0f;
    EXPECT_EQ(started, c.hit == kStart) << c.x << "," << c.y;
    EXPECT_EQ(exited, c.hit == kExit) << c.x << "," << c.y;
    if (started) {
      EXPECT_EQ(shared.batchTotal, 3);
      EXPECT_EQ(shared.photoCount.load(), 0);
      EXPECT_EQ(shared.batchRunning.load(), 1);
    }
  }
}

TEST_F(BatchTest, StartNeedsPhotosAndAnIdleScreen) {
  listPhotos(0);
  touch(50, 205);
  EXPECT_EQ(shared.batchActive.load(), 0);
  EXPECT_EQ(shared.batchRunning.load(), 0);

  // During a running batch.
  resetScreen(4);
  touch(50, 205);
  tick();
  const float percent = shared.progressPercent.load();
  touch(50, 205);
  EXPECT_EQ(shared.batchTotal, 4);
  EXPECT_EQ(shared.photoCount.load(), 1);
  EXPECT_EQ(shared.progressPercent.load(), percent);

  // Beneath the closing message: the progress is back at 0 and photoCount
  // holds the photos taken, yet no second batch may begin.
  whileBoxOpen = [this] { touch(50, 205); };
  EXPECT_EQ(runToEnd(), 3);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(shared.batchActive.load(), 0);
  EXPECT_EQ(shared.batchRunning.load(), 0);
  EXPECT_EQ(shared.photoCount.load(), 4) << "a second batch would have reset it";
  EXPECT_FALSE(shown());
}

// The start command a card that tags by itself posts: START's effect, but
// only on the screen that is up, so an EXIT before it arrives still wins.
TEST_F(BatchTest, TheStartCommandActsAsATouchOnTheScreenThatIsUp) {
  resetScreen(3);
  ShowWindow(window, SW_HIDE);
  EXPECT_EQ(handleCommand(window, IDM_START_BATCH, 0), 0);
  EXPECT_EQ(shared.batchActive.load(), 0) << "a hidden screen takes no START";
  ShowWindow(window, SW_SHOW);
  handleCommand(window, IDM_START_BATCH, 0);
  EXPECT_EQ(shared.batchTotal, 3);
  EXPECT_EQ(runToEnd(), 3);
  EXPECT_EQ(boxes[0].text, closing(0, 3));  // the listed photos hold no fix
}

TEST_F(BatchTest, ExitOnTheIdleScreenHidesIt) {
  listPhotos(3);
  shared.batchRunning = 1;
  touch(50, 245);
  EXPECT_FALSE(shown());
  EXPECT_EQ(shared.stopRequested.load(), 1.0f);
  EXPECT_EQ(shared.batchRunning.load(), 0);
  EXPECT_EQ(shared.batchActive.load(), 0);
  EXPECT_TRUE(boxes.empty());
}

// 12 photos, EXIT while waiting for photo 5: photo 5 is still taken, then
// the batch ends cancelled with the window up until the message is gone.
TEST_F(BatchTest, ExitDuringABatchTakesExactlyOneMorePhoto) {
  listPhotos(12);
  touch(50, 205);
  for (int i = 0; i < 4; ++i) tick();
  touch(50, 245);
  EXPECT_TRUE(shown());
  EXPECT_EQ(shared.batchRunning.load(), 0);
  EXPECT_EQ(shared.logHeldForBatch.load(), 1) << "the track log stays closed for the last photo";
  bool shownUnderBox = false;
  int heldUnderBox = -1;
  whileBoxOpen = [&] {
    shownUnderBox = shown();
    heldUnderBox = shared.logHeldForBatch.load() + shared.batchRunning.load();
  };
  EXPECT_EQ(runToEnd(), 1);
  EXPECT_EQ(shared.photoCount.load(), 5);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, kCancelled);
  EXPECT_EQ(boxes[0].text, closing(0, 12));
  EXPECT_TRUE(shownUnderBox);
  EXPECT_EQ(0, heldUnderBox) << "the recorder logs while the message waits";
  EXPECT_FALSE(shown());
  EXPECT_EQ(shared.stopRequested.load(), 0.0f);
  EXPECT_EQ(shared.batchActive.load(), 0);
  EXPECT_EQ(shared.progressPercent.load(), 0.0f);

  // Touched before the last photo's tick: cancelled although all were taken.
  resetScreen(2);
  touch(50, 205);
  tick();
  touch(50, 245);
  EXPECT_EQ(runToEnd(), 1);
  EXPECT_EQ(shared.photoCount.load(), 2);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, kCancelled);

  // Touched while armed (before the first tick): the idle-looking screen
  // hides, and the first tick takes one photo and ends cancelled.
  resetScreen(5);
  touch(50, 205);
  touch(50, 245);
  EXPECT_FALSE(shown());
  EXPECT_EQ(runToEnd(), 1);
  EXPECT_EQ(shared.photoCount.load(), 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, kCancelled);
  EXPECT_EQ(boxes[0].text, closing(0, 5));
}

// The list belongs to the card the batch started on: another card in the
// slot, or none, ends the batch at the next tick as cancelled, before any
// photo of the wrong card is touched, with what was tagged so far.
TEST_F(BatchTest, ACardSwappedMidBatchEndsItCancelled) {
  const std::string cardA = cardWith("\x03", "\x12\xAB\xFF\x01");
  const std::string cardB = cardWith("\x03", "\x12\xAB\xFF\x02");
  for (bool pulled : {false, true}) {
    SCOPED_TRACE(pulled ? "card pulled" : "another card");
    writeWholeFile(image->path("DSK2"), cardA);
    resetScreen(5);
    touch(50, 205);
    tick();
    tick();
    tick();  // the same card throughout: the batch goes on
    EXPECT_TRUE(boxes.empty());
    if (pulled)
      ::unlink(image->path("DSK2").c_str());
    else
      writeWholeFile(image->path("DSK2"), cardB);
    // A copy a cut rewrite left is cleared away when the batch ends.
    putCardFile(*image, "DCIM/vellumtrace-tagging.tmp", "cut short");
    tick();
    EXPECT_FALSE(fileExists(image->path("SDMMC/DCIM/vellumtrace-tagging.tmp")));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, kCancelled);
    EXPECT_EQ(boxes[0].text, closing(0, 5));
    EXPECT_EQ(shared.photoCount.load(), 3) << "no photo is taken from the new card's list";
    EXPECT_EQ(shared.batchActive.load(), 0);
    EXPECT_EQ(shared.batchRunning.load(), 0);
    EXPECT_EQ(shared.stopRequested.load(), 0.0f);
    EXPECT_FALSE(shown());
  }
}

// What each tick invalidates, per batch size: the percent strip at the first
// photo, the digits patch when the whole percent changes, the bar from
// progressStep segments before its new end when the segment count changes.
// The sizes at the edges of each bar step (the bar runs 6, 5, 3 or 1
// segments ahead) show the step through where the bar's repaint starts.
TEST_F(BatchTest, EachTickInvalidatesWhatChanged) {
  struct Step {
    int tick;
    const char* rects;  // "" when nothing is invalidated
  };
  struct Scenario {
    int photos;
    int startStep;  // progressStep left by the batch before
    std::vector<Step> steps;
  } scenarios[] = {
      {1, 1, {{1, "(0,128,480,150) (433,151,450,163)"}}},
      {1, 3, {{1, "(0,128,480,150) (399,151,450,163)"}}},  // never reset between batches
      {2, 1, {{1, "(0,128,480,150) (127,151,450,163)"}}},   // 50 %: 12 segments, 6 ahead
      {3, 1, {{1, "(0,128,480,150) (76,151,450,163)"}}},    // 33 %: 8, 5 ahead
      {5, 1, {{1, "(0,128,480,150) (25,151,450,163)"}}},    // 20 %: 5, 5 ahead
      {6, 1, {{1, "(0,128,480,150) (8,151,450,163)"}}},     // 16 %: 4, 5 ahead
      {11, 1, {{1, "(0,128,480,150) (-26,151,450,163)"}}},  // 9 %: 2, 5 ahead
      {24, 1, {{1, "(0,128,480,150) (-9,151,450,163)"}}},   // 4.17 %: 1, 3 ahead
      {25, 1, {{1, "(0,128,480,150) (25,151,450,163)"}}},   // 4 %: 1, 1 ahead
      {7, 1, {{1, "(0,128,480,150) (-9,151,450,163)"}, {2, "(180,128,260,140) (59,151,450,163)"}}},
      {30, 1, {{1, "(0,128,480,150)"}, {2, "(180,128,260,140) (25,151,450,163)"}, {3, "(180,128,260,140) (42,151,450,163)"}}},
      {12, 1, {{1, "(0,128,480,150) (8,151,450,163)"}, {2, "(180,128,260,140) (42,151,450,163)"},
               {12, "(180,128,260,140) (399,151,450,163)"}}},
      {100, 1, {{1, "(0,128,480,150)"}, {4, "(180,128,260,140) (25,151,450,163)"},
                {52, "(180,128,260,140) (229,151,450,163)"}, {53, ""},
                {54, "(180,128,260,140)"}, {100, "(180,128,260,140) (433,151,450,163)"}}},
      // 0.67 % at the first photo: the whole part is still 0, the strip goes up anyway.
      {150, 1, {{1, "(0,128,480,150)"}, {2, "(180,128,260,140)"}, {3, "(180,128,260,140)"}}},
  };
  for (const Scenario& s : scenarios) {
    resetScreen(s.photos);
    shared.progressStep = s.startStep;
    touch(50, 205);
    size_t next = 0;
    for (int t = 1; t <= s.photos; ++t) {
      tick();
      const std::vector<RECT> rects = takeInvalidations();
      if (next < s.steps.size() && s.steps[next].tick == t) {
        EXPECT_EQ(rectsText(rects), s.steps[next].rects) << s.photos << " photos, tick " << t;
        ++next;
      }
    }
    ASSERT_EQ(boxes.size(), 1u) << s.photos << " photos";
    EXPECT_EQ(boxes[0].title, kFinished);
    EXPECT_EQ(boxes[0].text, closing(0, s.photos));
  }
}

// Photos the tagger really rewrites: one with a fix in the day's log, one
// taken when nothing was recorded, one that is no JPEG.
TEST_F(BatchTest, ClosingMessageCountsThePhotosTagged) {
  const std::string log = logPath(*image, "060326");
  mkdir(trackLogFolder(*image).c_str(), 0777);
  // 09:30:15 UTC, 5545.1234 N, 03737.5678 E.
  writeWholeFile(log, std::string("\xA7\x85\x00\x00\xFD\x48\xAD\x45\x4E\x16\x99\x69\x45\x45", 14));
  mkdir(image->path("SDMMC/DCIM").c_str(), 0777);
  PhotoSpec spec;
  spec.width = 64;
  spec.height = 48;
  spec.dateTimeOriginal = "2026:03:06 12:30:15";
  writeWholeFile(image->path("SDMMC/DCIM/IMG_0001.JPG"), makeCameraPhoto(spec));
  const std::string untagged = makeCameraPhoto(spec);
  spec.dateTimeOriginal = "2026:03:06 12:40:00";
  writeWholeFile(image->path("SDMMC/DCIM/IMG_0002.JPG"), makeCameraPhoto(spec));
  writeWholeFile(image->path("SDMMC/DCIM/IMG_0003.JPG"), "not a photo");

  listPhotos(1);
  touch(50, 205);
  EXPECT_EQ(runToEnd(), 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, kFinished);
  EXPECT_EQ(boxes[0].text, closing(1, 1));
  EXPECT_EQ(readWholeFile(image->path("SDMMC/DCIM/IMG_0001.JPG")).size(), untagged.size() + 127);

  // A second batch over the same card: the tagged photo is left alone.
  resetScreen(3);
  touch(50, 205);
  EXPECT_EQ(runToEnd(), 3);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, closing(0, 3));
}

TEST_F(BatchTest, PercentIsSinglePrecision) {
  listPhotos(100);
  touch(50, 205);
  for (int i = 0; i < 53; ++i) tick();
  EXPECT_EQ(shared.progressPercent.load(), 52.999996f);
  EXPECT_EQ(shared.prevProgressPercent.load(), 52.0f);
  EXPECT_EQ(shared.photoCount.load(), 53);
  resetScreen(3);
  touch(50, 205);
  tick();
  EXPECT_EQ(shared.progressPercent.load(), 33.333336f);
  tick();
  EXPECT_EQ(shared.progressPercent.load(), 66.66667f);
}

TEST_F(BatchTest, CommandsAndForeignTimers) {
  EXPECT_EQ(send(WM_COMMAND, 40002, 0), 0);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Привет! :)");
  EXPECT_EQ(boxes[0].text, "Программа для навигатора работает!");
  EXPECT_EQ(send(WM_COMMAND, 32772, 0), 0);
  EXPECT_EQ(boxes.size(), 1u);

  // Ctrl+Q and a foreign timer change nothing, batch or not.
  listPhotos(3);
  send(WM_COMMAND, 1, 0);
  send(WM_TIMER, 1025, 0);
  EXPECT_TRUE(shown());
  EXPECT_EQ(shared.photoCount.load(), 3);
  EXPECT_EQ(shared.batchActive.load(), 0);

  // The greeting during a batch: ticks go on beneath its box.
  touch(50, 205);
  boxes.clear();
  whileBoxOpen = [this] { tick(); };
  send(WM_COMMAND, 40002, 0);
  EXPECT_EQ(shared.photoCount.load(), 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Привет! :)");
  boxes.clear();
  send(WM_TIMER, 1025, 0);
  send(WM_COMMAND, 1, 0);
  EXPECT_EQ(shared.photoCount.load(), 1);
  EXPECT_EQ(runToEnd(), 2);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, kFinished);
  EXPECT_EQ(boxes[0].text, closing(0, 3));
}

// The real timer: 30 ms to the first photo, 500 ms between photos, nothing
// left armed after the last.
TEST_F(BatchTest, TheTimerPacesTheBatch) {
  listPhotos(2);
  touch(50, 205);
  std::vector<DWORD> at;
  const DWORD start = GetTickCount();
  MSG msg;
  while (boxes.empty() && GetTickCount() - start < 3000) {
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      Sleep(2);
      continue;
    }
    if (msg.message == WM_TIMER && msg.wParam == kBatchTimerId) at.push_back(GetTickCount() - start);
    DispatchMessageW(&msg);
  }
  ASSERT_EQ(at.size(), 2u);
  EXPECT_GE(at[0], 25u);
  EXPECT_LT(at[0], 300u);
  EXPECT_GE(at[1] - at[0], 480u);
  // Once a timer of a window of its own has ticked after a whole pause
  // between photos, a batch timer still armed would have ticked too.
  HWND witness = makeWindow(0, u"witness");
  SetTimer(witness, 99, kNextTickMs + 100, nullptr);
  ASSERT_EQ(GetMessageW(&msg, witness, WM_TIMER, WM_TIMER), TRUE);
  EXPECT_FALSE(PeekMessageW(&msg, window, WM_TIMER, WM_TIMER, PM_NOREMOVE));
}

}  // namespace
