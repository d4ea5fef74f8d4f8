// The one SharedState of the process, zero-filled at start but for
// progressStep, which starts at 1.
#include "app/state/shared_state.h"

#include <cstring>

SharedState shared;

void resetSharedState() {
  shared.appInstance = nullptr;
  shared.mainWindow = nullptr;
  memset(shared.cardIdentity, 0, sizeof shared.cardIdentity);
  memset(shared.prevCardIdentity, 0, sizeof shared.prevCardIdentity);
  shared.cardFreeKb = 0;
  shared.cardTotalKb = 0;
  shared.cardBytesTotal = 0;
  shared.cardBytesFree = 0;
  shared.photoList = nullptr;
  shared.photoCount = 0;
  shared.batchTotal = 0;
  shared.batchTagged = 0;
  shared.progressPercent = 0.0f;
  shared.prevProgressPercent = 0.0f;
  shared.progressStep = 1;
  shared.stopRequested = 0.0f;
  shared.batchRunning = 0;
  shared.batchActive = 0;
  shared.logHeldForBatch = 0;
  shared.logOpen = 0;
  shared.logFile = nullptr;
  memset(shared.screenText, 0, sizeof shared.screenText);
  memset(shared.exifDateTime, 0, sizeof shared.exifDateTime);
  shared.matchLatitude = 0.0f;
  shared.matchLongitude = 0.0f;
  shared.matchLatRef = 0;
  shared.matchLonRef = 0;
}
