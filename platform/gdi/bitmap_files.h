// BMP files: reading the resource bitmaps, writing the ones the tools make.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi/gdi_internal.h"

// Uncompressed 24 or 32 bits per pixel, either row order. False for anything
// else, or for a file shorter than its headers say.
bool decodeBmpFile(const uint8_t* bytes, size_t size, Surface* out);
// A 24-bit bottom-up BMP file of the image.
std::vector<uint8_t> encodeBmp24(const Surface& image);
