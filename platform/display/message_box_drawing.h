// The look of the drawn message box: a titled box with its text and an OK
// button, drawn with the painting layer into a bitmap of its own.
#pragma once

#include "platform/gdi/gdi_internal.h"

struct DrawnMessageBox {
  Surface pixels;
  RECT ok;  // the OK button, in the box's coordinates
};

DrawnMessageBox drawMessageBox(const char16_t* title, const char16_t* text);
