// Inside the displays: what a display driver does. A driver shows the
// composed screen (composeScreen) whenever screenGeneration changes and
// delivers its input through deliverTouch and deliverKey.
#pragma once

#include <cstdint>

#include "platform/core/ce_types.h"

class DisplayDriver {
 public:
  virtual ~DisplayDriver() = default;
  virtual const char* name() const = 0;
  // Opens the display; false, with a line on stderr, when it cannot.
  virtual bool start() = 0;
  virtual void stop() = 0;
  // The screen generation of the frame last put on screen.
  virtual uint64_t presentedGeneration() const = 0;
};

// What a display loaded at run time calls back into: the screen and the
// input of the program that loaded it. A display module sees the program
// only through this table, so it links none of it and shares its state.
struct Surface;
struct DisplayHostSide {
  uint64_t (*screenGeneration)();
  void (*composeScreen)(Surface* out);
  void (*deliverTouch)(int x, int y, bool down);
  void (*deliverKey)(WORD virtualKey, bool down);
  void (*closeProgram)();  // as SIGTERM would
};

// Every driver is made the same way: from the table it reaches the program
// through, and the scale of its pixels (which a driver may ignore). The sdl
// display's module (display_sdl.cpp, linked against SDL2) has one entry of
// this type.
using MakeDisplayFn = DisplayDriver* (*)(const DisplayHostSide* host, int scale);
#define VT_SDL_DISPLAY_MODULE "vellumtrace-display-sdl.so"
#define VT_SDL_DISPLAY_ENTRY "vellumtraceMakeSdlDisplay"

// No window at all: the screen is seen only through snapshots
// (display_headless.cpp).
DisplayDriver* makeHeadlessDisplay(const DisplayHostSide* host, int scale);
// The SDL2 window (or screen, with SDL's KMSDRM driver), scaled by `scale`:
// loads the module on first use (display_module.cpp). Null, with a line on
// stderr, when the module or SDL2 cannot be loaded.
DisplayDriver* makeSdlDisplay(const DisplayHostSide* host, int scale);

