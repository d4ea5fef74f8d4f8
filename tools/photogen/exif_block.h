// A little-endian EXIF block as cameras write it: IFD0, the Exif IFD with
// DateTimeOriginal, and IFD1 describing a JPEG thumbnail, each IFD's values
// after its entries and everything before the thumbnail.
#pragma once

#include <cstdint>
#include <string>

struct ExifFields {
  std::string make = "Vellum";
  std::string model = "Trace One";
  std::string dateTimeOriginal;  // "YYYY:MM:DD HH:MM:SS"
  uint32_t pixelWidth = 0;
  uint32_t pixelHeight = 0;
};

// The APP1 payload: "Exif\0\0", the TIFF header and the IFDs, then the
// thumbnail bytes. Empty if it would not fit one JPEG segment.
std::string buildExifPayload(const ExifFields& fields, const std::string& thumbnailJpeg);
