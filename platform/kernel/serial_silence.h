// A serial port that opens but stays quiet: the host may know why (another
// program holds the receiver) and is told once.
#pragma once

#include <cstdint>

#include "platform/core/ce_types.h"

// ---- Host side ---------------------------------------------------------------

// Called once when the open port has brought nothing for `afterMs` (and
// again only after it has brought bytes and fallen quiet anew), with the
// host path behind "Com1:". Null, the start value, says nothing.
using SerialSilenceHandler = void (*)(const char* hostPath);
void setSerialSilenceHandler(SerialSilenceHandler handler, int64_t afterMs = 30000);

// ---- For the serial port -----------------------------------------------------

// After each read of `port` that worked: `got` bytes arrived (0: none).
void noteSerialRead(HANDLE port, size_t got);
