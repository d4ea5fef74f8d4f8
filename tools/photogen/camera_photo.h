// A camera-like JPEG: SOI, the EXIF APP1 segment straight after it (or after
// a JFIF APP0 when asked), then the image.
#pragma once

#include <cstdint>
#include <string>

struct PhotoSpec {
  int width = 640;
  int height = 480;
  int quality = 85;
  int noise = 0;  // 0..255: grain added to the picture, which makes files larger
  uint32_t seed = 1;
  bool jfifFirst = false;
  std::string dateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS"
};

// The whole file; empty on failure.
std::string makeCameraPhoto(const PhotoSpec& spec);
