// The GPS worker thread: polls "Com1:" every 500 ms and feeds the track log.
#pragma once

#include "platform/core/ce_types.h"

// Thread procedure: 1 after its loop ended.
DWORD gpsWorkerThread(LPVOID);
