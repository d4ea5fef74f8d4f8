// The settings the executable gives the program: passed on to the track
// lookup and to the card check's hook for a card offered.
#include "app/program_settings.h"

#include <atomic>

#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "geotag/track_lookup.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"
#include "res/resource_ids.h"

namespace {

std::atomic<bool> automaticBatches{false};
std::atomic<CardOfferReport> offerReport{nullptr};

// The worker has just shown the screen for the card: the batch is started on
// the UI thread, through the main window's queue, as a touch would reach it.
void cardOffered(int32_t photos, uint64_t bytesTotal, uint64_t bytesFree) {
  if (CardOfferReport report = offerReport.load()) report(photos, bytesTotal, bytesFree);
  if (automaticBatches.load()) PostMessageW(shared.mainWindow, WM_COMMAND, IDM_START_BATCH, 0);
}

void updateHook() {
  cardOfferedHook = automaticBatches.load() || offerReport.load() ? cardOffered : nullptr;
}

}  // namespace

bool parseCameraClockOffset(const char* text, int32_t* seconds) {
  return parseClockOffset(text, seconds);
}

void setCameraClockOffset(int32_t seconds) { setCameraClockAheadOfUtc(seconds); }

void setAutomaticBatches(bool on) {
  automaticBatches = on;
  updateHook();
}

void setCardOfferReport(CardOfferReport report) {
  offerReport = report;
  updateHook();
}
