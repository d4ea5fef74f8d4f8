// "Com1:" fed by a gpsd instead of a tty: the NMEA sentences gpsd relays
// from the receivers it holds (its watch command with NMEA on), read as a
// serial port's. The handle is a serial one; its line settings are gpsd's
// business and are taken as set, and reads return at once with what has
// arrived, as from a tty. gpsd's own replies (JSON, one object a line) are
// left out, so the reader sees NMEA text only. A connection that ends (gpsd
// stopped or restarted) is taken up again, as a replugged receiver is: the
// read that finds it gone fails, and later reads try to connect again, once
// a second at most, bringing nothing until gpsd accepts.
#pragma once

#include <string>

#include "platform/core/ce_types.h"

// ---- Host side ---------------------------------------------------------------

constexpr const char* kGpsdDefaultPort = "2947";

// From now on "Com1:" is read from the gpsd at host:port (a name or an
// address; port a number or a service); an empty host goes back to the tty.
void setComGpsd(const std::string& host, const std::string& port);

// ---- For the kernel family ---------------------------------------------------

// Whether "Com1:" comes from a gpsd.
bool comFromGpsd();
// CreateFileW on "Com1:" with a gpsd set: connects and asks for NMEA.
// INVALID_HANDLE_VALUE, last error set, when gpsd does not accept.
HANDLE openGpsdPort(DWORD access);
// Whether a serial handle is one of these.
bool isGpsdPort(HANDLE file);
// ReadFile on one: what has arrived, at once; see above.
BOOL readGpsdPort(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD bytesRead);
