// The photo list: one node per photo on the card, newest at the head.
#pragma once

#include "platform/core/ce_types.h"

struct PhotoEntry {
  WCHAR path[100];  // first member: a node can be handed on as its path
  PhotoEntry* next;
};
