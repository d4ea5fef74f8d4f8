// Accelerator table: Ctrl+A sends the greeting command; Ctrl+Q sends command
// 1, which the main window leaves to the default procedure, so it does
// nothing.
#include "res/resource_ids.h"
#include "res/resource_tables.h"

namespace {
const ACCEL kMainAccelerators[] = {
    {FVIRTKEY | FNOINVERT | FCONTROL, 'A', IDM_GREETING},
    {FVIRTKEY | FNOINVERT | FCONTROL, 'Q', IDM_CTRL_Q},
};
}  // namespace

const AcceleratorTable kAcceleratorTables[] = {
    {IDR_ACCELERATORS, kMainAccelerators, sizeof kMainAccelerators / sizeof kMainAccelerators[0]},
};
const size_t kAcceleratorTableCount = sizeof kAcceleratorTables / sizeof kAcceleratorTables[0];
