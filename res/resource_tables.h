// The executable's resources, as tables the platform's resource loader reads:
// the string table, the accelerator tables and the bitmaps.
#pragma once

#include <cstddef>
#include <cstdint>

struct StringResource {
  uint32_t id;
  const char16_t* text;
};

struct AcceleratorEntry {
  uint8_t fVirt;  // FVIRTKEY | FCONTROL ...
  uint16_t key;   // virtual key code
  uint16_t cmd;   // command id sent as WM_COMMAND
};

struct AcceleratorResource {
  uint32_t id;
  const AcceleratorEntry* entries;
  size_t count;
};

// A bitmap resource: the bytes of a Windows BMP file (BITMAPFILEHEADER and
// all), as a resource compiler would embed it.
struct BitmapResource {
  uint32_t id;
  const uint8_t* bmpFile;
  size_t bmpFileBytes;
};

extern const StringResource kStringTable[];
extern const size_t kStringTableCount;
extern const AcceleratorResource kAcceleratorTables[];
extern const size_t kAcceleratorTableCount;
extern const BitmapResource kBitmaps[];
extern const size_t kBitmapCount;
