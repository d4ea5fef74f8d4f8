// What the executable around the program may set before startApplication.
// The device has none of these: their defaults are its own behaviour.
#pragma once

#include <cstdint>

// How far the camera's clock runs ahead of UTC, in seconds, for the batch's
// track lookups (default 10800, the device's zone). parseCameraClockOffset
// reads "[+|-]HH:MM"; false for anything else.
bool parseCameraClockOffset(const char* text, int32_t* seconds);
void setCameraClockOffset(int32_t seconds);

// On: a new card with photos starts its batch as a START touch would, on the
// UI thread, as soon as the screen offers it. Off (the default): the batch
// waits for START.
void setAutomaticBatches(bool on);

// Told of each new card with photos the screen offers (on the worker
// thread): its photo count and its size and free space in bytes. Null, the
// default, for nobody.
using CardOfferReport = void (*)(int32_t photos, uint64_t bytesTotal, uint64_t bytesFree);
void setCardOfferReport(CardOfferReport report);
