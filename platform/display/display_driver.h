// Inside the displays: what a display driver does. A driver shows the
// composed screen (composeScreen) whenever screenGeneration changes and
// delivers its input through deliverTouch and deliverKey.
#pragma once

#include <cstdint>

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

// The SDL2 window (or screen, with SDL's KMSDRM driver), scaled by `scale`.
DisplayDriver* makeSdlDisplay(int scale);

