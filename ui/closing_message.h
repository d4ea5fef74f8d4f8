// The message a tagging batch closes with: how many of its photos were
// tagged, under a title that says whether it ran to the end or was cancelled.
// The device shows it in a message box; vellumtrace-tool tag prints the text.
#pragma once

#include <cstddef>

#include "platform/core/ce_types.h"

// Writes the text ("Обработано фотографий: 3 из 5 фотографий.") into `text`,
// cut to `size` units and always terminated, and returns the title.
LPCWSTR closingMessage(int tagged, int total, bool cancelled, WCHAR* text, size_t size);
