// Everything the program's own code may call of the CE services.
#pragma once

#include "platform/ce_types.h"
#include "platform/files.h"
#include "platform/msgbox.h"
#include "platform/painting.h"
#include "platform/registry.h"
#include "platform/resources.h"
#include "platform/serial.h"
#include "platform/storage.h"
#include "platform/threads.h"
#include "platform/timers.h"
#include "platform/wide_text.h"
#include "platform/windows.h"
