// Errors: GetLastError, SetLastError (one last error per thread). Host errors
// become CE results here and nowhere else, and the host call behind the
// latest of them is kept for whoever wants to say what failed.
#pragma once

#include <cerrno>
#include <string>

#include "platform/core/ce_types.h"

DWORD GetLastError();
void SetLastError(DWORD error);

// The CE error code that stands for a host errno value; the failed host call
// that left that errno becomes the thread's lastHostFailure().
DWORD ceErrorFromErrno(int hostErrno);
// Sets the thread's last error from a host errno value.
void setLastErrorFromErrno(int hostErrno);
// The same for errno as it stands, giving back `failed`, so that a failed
// host call fails its CE call in one line: `return failFromErrno();`, or
// `return failFromErrno(INVALID_HANDLE_VALUE);`.
template <typename Result = BOOL>
Result failFromErrno(Result failed = Result(FALSE)) {
  setLastErrorFromErrno(errno);
  return failed;
}
// The same for a file open whose disposition may create the file: a missing
// folder on the way is ERROR_PATH_NOT_FOUND and an existing file refused to
// CREATE_NEW is ERROR_FILE_EXISTS.
void setLastErrorFromCreateErrno(int hostErrno);

// ---- Host side: which host call failed ---------------------------------------

struct HostFailure {
  char call[24];        // the host-call table entry; empty when the errno came from no entry
  char path[512];       // the path it was given, or the file behind its descriptor
  char otherPath[512];  // a second path (rename, link)
  int descriptor;       // -1 when it took none
  int hostErrno;
  DWORD ceError;        // what the errno became
};

// The latest host failure this thread turned into a CE error, or null when
// there is none or an error has been set by other means since.
const HostFailure* lastHostFailure();
// "open /dev-root/SDMMC/DCIM/X.JPG: Permission denied",
// "write /dev-root/ResidentFlash/vellumtrace/060326.log (fd 7): No space left on device".
std::string describeHostFailure(const HostFailure& failure);
