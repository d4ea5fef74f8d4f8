// The hint for a receiver that says nothing while gpsd runs on this machine:
// gpsd takes the receivers it knows when they are plugged in, and the
// program's port then stays quiet.
#pragma once

#include <string>

// Whether a process named gpsd runs here (as far as /proc shows).
bool gpsdRunsHere(const std::string& procRoot = "/proc");

// For setSerialSilenceHandler: says once on standard error, when gpsd runs
// here, that it may hold the receiver at `path`, and how to read it
// through gpsd instead.
void sayGpsdMayHoldTheReceiver(const char* path);
