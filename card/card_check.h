// Card identity and change detection, run by the worker at the end of each tick.
#pragma once

#include "platform/core/ce_types.h"

// 1 when the card's disk device opened and its identity is in cardIdentity;
// 0 when there is no card (cardIdentity unchanged).
int readCardIdentity();
// Whether two identity texts name the same card: their first 20 characters
// agree (a NUL reached in both ends the comparison).
bool sameCard(const WCHAR* a, const WCHAR* b);
// Notices a new card: measures it, lists its photos, shows the main window.
void checkCard();

// The wait between a new card's two free-space queries (500 ms), which lets a
// just-mounted card report settled figures. Tests shorten it.
extern DWORD cardSettleMilliseconds;
