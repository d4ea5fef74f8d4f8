// The dated fixes of a receiver capture: each $GPRMC line with status A and a
// complete date, as the recorder would log it.
#pragma once

#include <string>
#include <vector>

struct CaptureFix {
  int year, month, day;  // year in full (two-digit years taken as 20yy)
  int secondsOfDay;      // fractions dropped
};

std::vector<CaptureFix> readCaptureFixes(const std::string& path);

// The camera's clock runs three hours ahead of UTC: the fix's moment plus
// 10800 s, as "YYYY:MM:DD HH:MM:SS" (a day later past midnight).
std::string cameraTimeOf(const CaptureFix& fix);
