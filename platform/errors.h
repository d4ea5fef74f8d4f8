// Host errors become CE results here and nowhere else.
#pragma once

#include "platform/ce_types.h"

// The CE error code that stands for a host errno value.
DWORD ceErrorFromErrno(int hostErrno);
// Sets the thread's last error from a host errno value.
void setLastErrorFromErrno(int hostErrno);
