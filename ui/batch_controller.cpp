// The tagging batch. START arms a one-shot timer; each tick takes the photo
// at the head of the list, tags it, updates the progress, repaints only what
// changed and re-arms the timer, until the list runs out or EXIT was touched.
// All of it runs on the UI thread; the card check stands aside while
// shared.batchActive is set, the track log while shared.logHeldForBatch is,
// and the batch itself reads the card's identity at each tick.
#include "ui/batch_controller.h"

#include <cmath>

#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "card/card_identity.h"
#include "card/photo_list.h"
#include "card/tagging_copy.h"
#include "geotag/gps_insert.h"
#include "gps/track_log.h"
#include "platform/user/msgbox.h"
#include "platform/user/timers.h"
#include "platform/core/wide_text.h"
#include "platform/user/windows.h"
#include "res/resource_ids.h"
#include "ui/closing_message.h"
#include "platform/user/message_queue.h"
#include "platform/user/paint.h"

namespace {

// Touch regions, inclusive bounds, over the two button pictures.
constexpr unsigned kButtonMinX = 11, kButtonMaxX = 89;
constexpr unsigned kStartMinY = 196, kStartMaxY = 214;
constexpr unsigned kExitMinY = 236, kExitMaxY = 259;

// The percent text: the whole strip at the first photo (it was not on
// screen before), afterwards only the patch over its digits. The screen's
// sans-serif face at 15 pixels sets the digits at x = 217 to 252 ("100%"),
// so the patch reaches to 260; one ending at 220 would leave them stale.
constexpr RECT kPercentStrip = {0, 128, 480, 150};
constexpr RECT kPercentDigits = {180, 128, 260, 140};

const WCHAR kGreetingText[] = u"Программа для навигатора работает!";
const WCHAR kGreetingTitle[] = u"Привет! :)";

void invalidate(const RECT& rect) { InvalidateRect(shared.mainWindow, &rect, FALSE); }

// The card the batch was started on, as read at START ("" when none
// answered). The list is that card's: each tick reads the slot first, and
// another card, or none, ends the batch before a photo of the wrong card is
// touched. The watcher then announces what is in the slot as usual.
constexpr size_t kSlotIdentityUnits = 32;
WCHAR batchCard[kSlotIdentityUnits];
bool batchCardAnswered = false;

bool batchCardStillIn() {
  WCHAR now[kSlotIdentityUnits];
  const bool answered = readSlotIdentity(now, kSlotIdentityUnits);
  return answered == batchCardAnswered && (!answered || sameCard(now, batchCard));
}

}  // namespace

int barSegments(float percent) {
  return static_cast<int>(std::floor(std::floor(static_cast<double>(percent)) / 4.0));
}

int progressStepFor(int batchTotal, int current) {
  // Later rules override earlier ones; a batch of one keeps what was there.
  int step = current;
  if (batchTotal >= 2) step = 6;
  if (batchTotal >= 3) step = 5;
  if (batchTotal >= 6) step = 5;
  if (batchTotal >= 12) step = 3;
  if (batchTotal >= 25) step = 1;
  return step;
}

void handleTouch(LPARAM lParam) {
  const unsigned x = LOWORD(static_cast<uintptr_t>(lParam));
  const unsigned y = HIWORD(static_cast<uintptr_t>(lParam));
  if (x < kButtonMinX || x > kButtonMaxX) return;
  if (y >= kExitMinY && y <= kExitMaxY) requestStop();
  if (y >= kStartMinY && y <= kStartMaxY) startBatch();
}

void requestStop() {
  if (shared.progressPercent.load() == 0.0f) ShowWindow(shared.mainWindow, SW_HIDE);
  shared.stopRequested = 1.0f;
  // The recorder may write again; it still keeps the day's log closed while
  // logHeldForBatch is set, so the one photo still to come finds its fix.
  shared.batchRunning = 0;
}

void startBatch() {
  // batchActive also covers the closing message: a START touched beneath it
  // must not begin a second batch over the photos just taken.
  if (shared.photoCount.load() <= 0 || shared.progressPercent.load() != 0.0f) return;
  if (shared.batchActive.load() != 0 || shared.photoList.load() == nullptr) return;
  shared.batchTagged = 0;
  shared.batchTotal = shared.photoCount.load();
  shared.photoCount = 0;
  shared.batchActive = 1;
  batchCardAnswered = readSlotIdentity(batchCard, kSlotIdentityUnits);
  // Sets batchRunning and closes the open day's log under the log lock: the
  // lookup opens the same file for every photo, and the recorder holds it
  // without sharing.
  closeTrackLogForBatch();
  SetTimer(shared.mainWindow, kBatchTimerId, kFirstTickMs, nullptr);
}

void tagNextPhoto() {
  KillTimer(shared.mainWindow, kBatchTimerId);
  if (!batchCardStillIn()) {
    // Ends as a cancelled batch: what was tagged so far, of the batch's size.
    shared.stopRequested = 1.0f;
    shared.batchRunning = 0;
    finishBatch();
    return;
  }
  const int32_t taken = shared.photoCount.load() + 1;
  shared.photoCount = taken;

  PhotoEntry* head = shared.photoList.load();
  if (head != nullptr && insertGpsIfd(head->path) == 0) ++shared.batchTagged;

  const float prev = shared.progressPercent.load();
  const float percent =
      static_cast<float>(taken) / static_cast<float>(shared.batchTotal) * 100.0f;
  shared.prevProgressPercent = prev;
  shared.progressPercent = percent;

  // The strip goes up whole at the first photo whatever its percent: in a
  // batch of more than 100 the first whole part is still 0, and waiting for
  // it to change would leave the label and the rule unpainted, the digits
  // alone showing through the patch.
  if (taken == 1) {
    invalidate(kPercentStrip);
  } else if (std::floor(static_cast<double>(percent)) != std::floor(static_cast<double>(prev))) {
    invalidate(kPercentDigits);
  }

  const int segments = barSegments(percent);
  if (segments != barSegments(prev)) {
    shared.progressStep = progressStepFor(shared.batchTotal, shared.progressStep);
    // Below 25 (even negative) when fewer segments are filled than the step.
    const int left = static_cast<int>(kBarLeft + static_cast<double>(kBarPitch) *
                                                     (segments - shared.progressStep));
    invalidate(RECT{left, kBarTop, kBarRight, kBarBottom});
  }

  UpdateWindow(shared.mainWindow);

  PhotoEntry* next = head != nullptr ? head->next : nullptr;
  if ((next == nullptr && taken != 0) || shared.stopRequested.load() != 0.0f) {
    finishBatch();
    return;
  }
  if (next != nullptr) shared.photoList = next;
  SetTimer(shared.mainWindow, kBatchTimerId, kNextTickMs, nullptr);
}

void finishBatch() {
  shared.progressPercent = 0.0f;
  shared.prevProgressPercent = 0.0f;
  constexpr size_t kTextUnits = sizeof shared.screenText / sizeof shared.screenText[0];
  const WCHAR* title = closingMessage(shared.batchTagged, shared.batchTotal,
                                      shared.stopRequested.load() != 0.0f, shared.screenText,
                                      kTextUnits);
  // The last photo has been looked up: the recorder logs again from its
  // next tick, also while the message waits to be dismissed.
  shared.batchRunning = 0;
  shared.logHeldForBatch = 0;
  // The box keeps its own copy: the screen repaints beneath it and formats
  // each of its texts into screenText.
  WCHAR text[kTextUnits];
  wcsncpy16(text, shared.screenText, kTextUnits);
  // A copy a photo's rewrite could not clear away (a card pulled in the
  // middle and put back) goes now; the name is only ever the program's.
  removeLeftoverTaggingCopy();
  MessageBoxW(nullptr, text, title, MB_OK);
  shared.stopRequested = 0.0f;
  // Hidden before the card check may run again, so a card it announces
  // next is not hidden straight away.
  ShowWindow(shared.mainWindow, SW_HIDE);
  shared.batchActive = 0;
}

LRESULT handleCommand(HWND window, WPARAM wParam, LPARAM lParam) {
  switch (LOWORD(wParam)) {
    case IDM_GREETING:
      MessageBoxW(nullptr, kGreetingText, kGreetingTitle, MB_OK);
      return 0;
    case IDM_NOTHING:
      return 0;
    case IDM_START_BATCH:
      // As a touch on START: only on the screen that is up (EXIT may have
      // hidden it since the card was offered), and only when it waits idle
      // with photos, which startBatch checks.
      if (IsWindowVisible(shared.mainWindow)) startBatch();
      return 0;
    default:
      return DefWindowProcW(window, WM_COMMAND, wParam, lParam);
  }
}
