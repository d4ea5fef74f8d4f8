// Accelerator table 2: Ctrl+A shows the greeting (40002), Ctrl+Q quits (1).
#include "res/resource_tables.h"

namespace {
constexpr uint8_t kVirtKey = 0x01;
constexpr uint8_t kControl = 0x08;
constexpr uint8_t kNoInvert = 0x02;
const AcceleratorEntry kTable2[] = {
    {kVirtKey | kNoInvert | kControl, 'A', 40002},
    {kVirtKey | kNoInvert | kControl, 'Q', 1},
};
}  // namespace

const AcceleratorResource kAcceleratorTables[] = {
    {2, kTable2, sizeof kTable2 / sizeof kTable2[0]},
};
const size_t kAcceleratorTableCount = sizeof kAcceleratorTables / sizeof kAcceleratorTables[0];
