// Errors: GetLastError, SetLastError (one last error per thread). Host errors
// become CE results here and nowhere else.
#pragma once

#include "platform/core/ce_types.h"

DWORD GetLastError();
void SetLastError(DWORD error);

// The CE error code that stands for a host errno value.
DWORD ceErrorFromErrno(int hostErrno);
// Sets the thread's last error from a host errno value.
void setLastErrorFromErrno(int hostErrno);
