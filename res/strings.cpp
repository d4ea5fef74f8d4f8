// String table: the main window's title and class name.
#include "res/resource_ids.h"
#include "res/resource_tables.h"

const StringResource kStringTable[] = {
    {IDS_WINDOW_TITLE, u"TarnixGPS Vellumtrace"},
    {IDS_WINDOW_CLASS, u"TarnixVellumtrace"},
};
const size_t kStringTableCount = sizeof kStringTable / sizeof kStringTable[0];
