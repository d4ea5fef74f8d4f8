// Accelerator table: Ctrl+A sends the greeting command (40002). Ctrl+Q sends
// command 1, which despite the key does not quit: the main window leaves it
// to the default procedure, which does nothing with a WM_COMMAND, so the
// program goes on as if the key had not been pressed.
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
