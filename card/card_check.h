// Card identity and change detection, run by the worker at the end of each tick.
#pragma once

#include <cstdint>

#include "platform/core/ce_types.h"

// 1 when the card's disk device opened and its identity is in cardIdentity;
// 0 when there is no card (cardIdentity unchanged).
int readCardIdentity();
// Whether two identity texts name the same card: their first 20 characters
// agree (a NUL reached in both ends the comparison).
bool sameCard(const WCHAR* a, const WCHAR* b);
// Notices a new card: measures it, lists its photos, shows the main window.
void checkCard();

// Called on the worker thread once a new card with photos has been offered
// (the screen is up), with its photo count and its size and free space in
// bytes; null, the default, for nothing more. Set before the worker starts.
using CardOfferedHook = void (*)(int32_t photos, uint64_t bytesTotal, uint64_t bytesFree);
extern CardOfferedHook cardOfferedHook;

// The wait between a new card's two free-space queries (500 ms), which lets a
// just-mounted card report settled figures. Tests shorten it.
extern DWORD cardSettleMilliseconds;
