// GetLastError / SetLastError (one value per thread, as on CE), the one
// mapping from host errno values to CE error codes, and the record of the
// host call behind the latest mapped error.
#include "platform/core/errors.h"

#include <cerrno>
#include <cstring>

#include "platform/core/host_calls.h"

namespace {
thread_local DWORD tLastError = ERROR_SUCCESS;
thread_local HostFailure tHostFailure;
thread_local bool tHostFailureCurrent = false;

void recordHostFailure(int hostErrno, DWORD ceError) {
  if (!takeNotedHostFailure(hostErrno, &tHostFailure)) {
    tHostFailure.call[0] = tHostFailure.path[0] = tHostFailure.otherPath[0] = 0;
    tHostFailure.descriptor = -1;
    tHostFailure.hostErrno = hostErrno;
  }
  tHostFailure.ceError = ceError;
  tHostFailureCurrent = true;
}

DWORD mapErrno(int e) {
  switch (e) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return ERROR_DISK_FULL;
    case EIO: return ERROR_GEN_FAILURE;
    case ENXIO:
    case ENODEV: return ERROR_DEV_NOT_EXIST;
    case EBUSY:
    case ETXTBSY: return ERROR_BUSY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOTTY:
    case EOPNOTSUPP:
    // A link where the layer follows none (O_NOFOLLOW): not a file it opens,
    // like a FIFO or a device where a file is expected.
    case ELOOP: return ERROR_NOT_SUPPORTED;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case EAGAIN: return ERROR_BUSY;
    default: return ERROR_GEN_FAILURE;
  }
}

}  // namespace

DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD error) {
  tLastError = error;
  tHostFailureCurrent = false;
}

DWORD ceErrorFromErrno(int e) {
  DWORD ce = mapErrno(e);
  if (e != 0) recordHostFailure(e, ce);
  return ce;
}

void setLastErrorFromErrno(int hostErrno) {
  if (hostErrno == 0) {
    SetLastError(ERROR_SUCCESS);
    return;
  }
  tLastError = ceErrorFromErrno(hostErrno);
}

void setLastErrorFromCreateErrno(int hostErrno) {
  DWORD ce = hostErrno == ENOENT ? ERROR_PATH_NOT_FOUND
           : hostErrno == EEXIST ? ERROR_FILE_EXISTS
                                 : mapErrno(hostErrno);
  recordHostFailure(hostErrno, ce);
  tLastError = ce;
}

const HostFailure* lastHostFailure() { return tHostFailureCurrent ? &tHostFailure : nullptr; }

std::string describeHostFailure(const HostFailure& f) {
  char reason[128];
  std::string text = f.call;
  if (f.path[0]) text += std::string(text.empty() ? "" : " ") + f.path;
  if (f.otherPath[0]) text += std::string(" to ") + f.otherPath;
  if (f.descriptor >= 0) text += " (fd " + std::to_string(f.descriptor) + ")";
  if (!text.empty()) text += ": ";
  return text + strerror_r(f.hostErrno, reason, sizeof reason);
}
