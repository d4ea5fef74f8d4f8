// The card check: once per worker tick, tells whether the card in the slot is
// new and, if it is, measures it, lists its photos and brings the screen up.
#include "card/card_check.h"

#include <cstring>

#include "app/state/shared_state.h"
#include "card/photo_discovery.h"
#include "platform/kernel/storage.h"
#include "platform/core/threads.h"
#include "platform/core/wide_text.h"
#include "platform/kernel/files.h"
#include "platform/user/windows.h"

DWORD cardSettleMilliseconds = 500;
CardOfferedHook cardOfferedHook = nullptr;

namespace {

// What prevCardIdentity holds while no card is in; identities are hex digits
// only, so no card's identity ever equals it.
const WCHAR kNoCard[] = u"xxxxxxxxxx";
constexpr size_t kComparedCharacters = 20;

// The card's identity answers as soon as it is in the slot, its files only
// once the system has mounted it, a moment later. Until both hold the card is
// not in yet and the card last seen stays as it was: taken as in on its
// identity alone, a card would be measured and searched before its files are
// there, and never offered; and a card in at boot whose file system comes
// after the program is still the card that was in at boot.
bool cardFilesMounted() {
  const DWORD a = GetFileAttributesW(u"\\SDMMC");
  const DWORD mountedCard = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY;
  return a != INVALID_FILE_ATTRIBUTES && (a & mountedCard) == mountedCard;
}

// From START until the batch's closing message has been dismissed.
bool batchInProgress() { return shared.batchActive.load() != 0 || shared.batchRunning.load() != 0; }

// The last query that succeeds wins; a failed one leaves the figures alone.
void queryCardSpace() {
  ULARGE_INTEGER total, free;
  total.QuadPart = shared.cardBytesTotal;
  free.QuadPart = shared.cardBytesFree;
  GetDiskFreeSpaceExW(u"SDMMC", nullptr, &total, &free);
  shared.cardBytesTotal = total.QuadPart;
  shared.cardBytesFree = free.QuadPart;
}

}  // namespace

bool sameCard(const WCHAR* a, const WCHAR* b) {
  for (size_t i = 0; i < kComparedCharacters; ++i) {
    if (a[i] != b[i]) return false;
    if (a[i] == 0) return true;
  }
  return true;
}

void checkCard() {
  // A batch works through the photo list from START until its closing
  // message is dismissed; a card noticed meanwhile would rebuild the list
  // under it. The card is looked at on the first tick after the batch.
  if (batchInProgress()) return;

  if (!readCardIdentity()) {
    memcpy(shared.prevCardIdentity, kNoCard, sizeof kNoCard);
    return;
  }
  if (sameCard(shared.cardIdentity, shared.prevCardIdentity)) return;
  if (!cardFilesMounted()) return;

  shared.cardBytesTotal = 0;
  shared.cardBytesFree = 0;
  queryCardSpace();
  Sleep(cardSettleMilliseconds);
  queryCardSpace();
  // START may have been touched during the wait: leave the list to that
  // batch, and take the card as new once it is over.
  if (batchInProgress()) return;
  // Sizes first: the first paint after the window shows must see them.
  shared.cardFreeKb.store(static_cast<uint32_t>(shared.cardBytesFree / 1024));
  shared.cardTotalKb.store(static_cast<uint32_t>(shared.cardBytesTotal / 1024));
  shared.stopRequested.store(0.0f);

  discoverPhotos();
  if (shared.photoCount.load() > 0) {
    ShowWindow(shared.mainWindow, SW_SHOW);
    ShowWindow(shared.mainWindow, SW_MAXIMIZE);
    UpdateWindow(shared.mainWindow);
    SetForegroundWindow(shared.mainWindow);
    if (cardOfferedHook) cardOfferedHook(shared.photoCount.load(), shared.cardBytesTotal, shared.cardBytesFree);
  }
  memcpy(shared.prevCardIdentity, shared.cardIdentity, sizeof shared.prevCardIdentity);
}
