// Inside the painting layer: faces for logical fonts and the text they draw.
#pragma once

#include <cstddef>

#include "platform/gdi/gdi_internal.h"

struct FontFace;

// The description of the stock system font: the system's sans-serif face as
// fontconfig names it, 16 pixels cell height, normal weight.
void systemLogFont(LOGFONTW* out);

// The face for a logical font, made once per face, weight, slant and size and
// kept for the life of the process with its glyphs. NULL when no font file
// can be found or opened; such a font draws nothing.
FontFace* fontFaceFor(const LOGFONTW& font);

// Pixel metrics of a face: ascent + descent == height, the line advance.
int fontAscent(const FontFace* face);
int fontHeight(const FontFace* face);

// Width in pixels of a run of UTF-16 text (surrogate pairs decoded; an
// unpaired surrogate counts as U+FFFD).
int measureText(FontFace* face, const char16_t* text, size_t length);

// Draws a run with its cell's top at `top` and its origin at x, blending the
// glyphs' coverage in `color` over what is there, inside `clip`.
void drawTextRun(Surface& target, const RECT& clip, FontFace* face, int x, int top,
                 const char16_t* text, size_t length, uint32_t color);
