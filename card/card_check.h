// Card identity and change detection, run by the worker at the end of each tick.
#pragma once

// 1 when the card's disk device opened and its identity is in cardIdentity;
// 0 when there is no card (cardIdentity unchanged).
int readCardIdentity();
// Notices a new card: measures it, lists its photos, shows the main window.
void checkCard();
