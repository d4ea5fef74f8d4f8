// The process-wide state both threads share. Each member has one writer per
// phase (see the comments); members that the UI thread and the worker both
// touch are atomics of the same width, so every hand-over is well defined.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "platform/core/ce_types.h"

struct PhotoEntry;

struct SharedState {
  // Process and windows: written once by the entry before the worker starts.
  HINSTANCE appInstance = nullptr;
  HWND mainWindow = nullptr;

  // SD card: the worker writes them on each check; the entry sets
  // prevCardIdentity once before the worker starts.
  WCHAR cardIdentity[1024] = {};
  WCHAR prevCardIdentity[1024] = {};
  std::atomic<uint32_t> cardFreeKb{0};
  std::atomic<uint32_t> cardTotalKb{0};
  uint64_t cardBytesTotal = 0;
  uint64_t cardBytesFree = 0;

  // Photos: the worker writes them on discovery, the UI thread during a batch.
  std::atomic<PhotoEntry*> photoList{nullptr};
  std::atomic<int32_t> photoCount{0};

  // Tagging batch: the UI thread writes them; the worker resets the progress
  // members and stopRequested when it sees a new card.
  int32_t batchTotal = 0;
  int32_t batchTagged = 0;
  std::atomic<float> progressPercent{0.0f};
  std::atomic<float> prevProgressPercent{0.0f};
  int32_t progressStep = 1;
  std::atomic<float> stopRequested{0.0f};
  std::atomic<int32_t> batchRunning{0};
  // 1 from START until the batch's closing message has been dismissed: the
  // card check stands aside and the track log stays closed for that whole
  // time, also after EXIT, while the last photo is still being tagged.
  std::atomic<int32_t> batchActive{0};
  // 1 from START until the batch's last photo has been looked up: the track
  // log stays closed that long (also after EXIT, while the photo in hand is
  // still being tagged), and no longer, so the fixes that arrive while the
  // closing message waits to be dismissed are logged.
  std::atomic<int32_t> logHeldForBatch{0};

  // Track log: the worker opens, switches and writes it; START closes it.
  // logLock makes the worker's log step and START's close one step each, so
  // the worker never writes through a handle START has closed.
  std::atomic<int32_t> logOpen{0};
  std::atomic<HANDLE> logFile{nullptr};
  std::mutex logLock;

  // Screen (UI thread only).
  WCHAR screenText[1024] = {};

  // Photo being tagged (UI thread only).
  char exifDateTime[20] = {};
  float matchLatitude = 0.0f;
  float matchLongitude = 0.0f;
  char matchLatRef = 0;
  char matchLonRef = 0;
};

extern SharedState shared;

// Puts every member back to its start value; for tests, which run many
// scenarios in one process.
void resetSharedState();
