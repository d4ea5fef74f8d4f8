// String table: the main window's title and class name.
#include "res/resource_ids.h"
#include "res/resource_tables.h"

const WCHAR kWindowTitle[] = u"TarnixGPS Vellumtrace";
const WCHAR kWindowClass[] = u"TarnixVellumtrace";

const StringResource kStringTable[] = {
    {IDS_WINDOW_TITLE, kWindowTitle},
    {IDS_WINDOW_CLASS, kWindowClass},
};
const size_t kStringTableCount = sizeof kStringTable / sizeof kStringTable[0];
