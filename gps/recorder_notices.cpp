// The recorder's notices on the debug output; see recorder_notices.h.
#include "gps/recorder_notices.h"

#include <string>

#include "platform/ce.h"
#include "platform/core/debug_output.h"

namespace {

constexpr DWORD kReasonChars = 600;

struct Failure {
  DWORD error = 0;
  WCHAR reason[kReasonChars] = {};
};

Failure portFailure;
bool portSaid = false;
DWORD portSaidError = 0;

std::u16string logSaidPath;
DWORD logSaidError = 0;
bool logSaid = false;

// The thread's last error and its text, taken before anything else can
// change them.
void takeLastError(Failure* f) {
  f->error = GetLastError();
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, f->error, 0,
                 f->reason, kReasonChars, nullptr);
}

}  // namespace

void notePortFailure() { takeLastError(&portFailure); }

bool sayPortFailure() {
  if (portSaid && portSaidError == portFailure.error) return false;
  portSaid = true;
  portSaidError = portFailure.error;
  std::u16string line = u"the GPS receiver's port Com1: cannot be opened or set up: ";
  line += portFailure.reason;
  line += u"; trying again every half second";
  OutputDebugStringW(line.c_str());
  return true;
}

void notePortOpened() { portSaid = false; }

void noteLogFailure(LPCWSTR path) {
  Failure f;
  takeLastError(&f);
  if (logSaid && logSaidError == f.error && logSaidPath == path) return;
  logSaid = true;
  logSaidError = f.error;
  logSaidPath = path;
  std::u16string line = u"fixes cannot be written to ";
  line += path;
  line += u": ";
  line += f.reason;
  line += u"; they are lost until it can be written again";
  OutputDebugStringW(line.c_str());
}

void noteLogWritten() { logSaid = false; }

void resetRecorderNotices() {
  portFailure = Failure();
  portSaid = false;
  logSaid = false;
  logSaidPath.clear();
}
