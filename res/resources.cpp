// The executable's resource tables, as the layer is handed them.
#include "res/resources.h"

#include "res/resource_tables.h"

const ModuleResources& programResources() {
  static const ModuleResources resources = {kStringTable,       kStringTableCount,
                                            kAcceleratorTables, kAcceleratorTableCount,
                                            kBitmaps,           kBitmapCount};
  return resources;
}
