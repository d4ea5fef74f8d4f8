// The executable's resources, as tables in the layer's format: the program
// hands them to the layer at start (setModuleResources).
#pragma once

#include "platform/user/resources.h"

const ModuleResources& programResources();
