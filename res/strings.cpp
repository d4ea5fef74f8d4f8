// String table: 1 is the window title, 2 the window class name.
#include "res/resource_tables.h"

const StringResource kStringTable[] = {
    {1, u"TarnixGPS Vellumtrace"},
    {2, u"TarnixVellumtrace"},
};
const size_t kStringTableCount = sizeof kStringTable / sizeof kStringTable[0];
