// The GPS worker thread: polls "Com1:" every 500 ms and feeds the track log.
// Each tick reads what the receiver has sent, hands it to the NMEA intake,
// runs the log step and then the card check; it is the only part of the
// recorder that reaches the card watcher.
#pragma once

#include "platform/core/ce_types.h"

constexpr size_t kReadBufferBytes = 65536;
// A read asks for two bytes less than the buffer holds, as it always has.
constexpr DWORD kReadRequestBytes = 65534;
constexpr uintptr_t kGpsTimerId = 1025;
constexpr unsigned kGpsTickMs = 500;

// The worker's own state, for the thread's life.
struct GpsWorkerState {
  HANDLE port = nullptr;
  // The sentence the last read ended inside, then what this read brought.
  char readBuffer[kReadBufferBytes] = {};
};

extern GpsWorkerState gpsWorker;

// Thread procedure: 1 after its loop ended.
DWORD gpsWorkerThread(LPVOID);

// Opens "Com1:" and sets the line up (9600 8N1, no flow control, DTR and RTS
// raised, reads that return at once). Returns the port handle, or nullptr with
// *failureText set to the message to show.
HANDLE openGpsPort(LPCWSTR* failureText);

// One tick: read what has arrived, make sure the log folder exists, parse,
// run the log step, then the card check.
void runGpsTick();
