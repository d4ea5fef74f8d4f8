// The role the executable plays, chosen by its own path.
#pragma once

#include "platform/core/ce_types.h"

enum class RunMode { Normal, Install, Remove };

// Install when the path holds "nstall-" or "NSTALL-", else remove when it
// holds "emove-" or "EMOVE-", else normal. The whole path is searched,
// case-sensitively, folder names included.
RunMode runModeOf(LPCWSTR modulePath);
