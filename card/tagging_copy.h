// The file a photo's tagged copy is written to before it replaces the photo.
// Its name lies outside the photo pattern (no ".JPG", longer than 12
// characters) and is unlike any a camera or a person gives, so a copy left
// by a power cut is never listed or counted as a photo and, being only ever
// the program's own, is removed wherever it is found.
#pragma once

#include "platform/core/ce_types.h"

inline constexpr WCHAR kTaggingCopyName[] = u"vellumtrace-tagging.tmp";
inline constexpr WCHAR kTaggingCopyPath[] = u"\\SDMMC\\DCIM\\vellumtrace-tagging.tmp";

// Removes a copy a cut rewrite left behind; true when none is left.
bool removeLeftoverTaggingCopy();
