// An Xvfb server of the test's own, on a display number the server picks
// itself (-displayfd), and what tests do with it: grab a window's pixels,
// click, press keys (imagemagick's import, xdotool).
#pragma once

#include <sys/types.h>

#include <string>

#include "platform/gdi/gdi_internal.h"

class XvfbServer {
 public:
  XvfbServer() = default;
  ~XvfbServer();
  XvfbServer(const XvfbServer&) = delete;
  XvfbServer& operator=(const XvfbServer&) = delete;

  // Which of Xvfb, import (imagemagick) and xdotool are not installed, as
  // "Xvfb, xdotool"; empty when all are. Tests skip without them, saying so.
  static std::string missingTools();
  // Starts the server; false when it does not come up within a few seconds.
  bool start();
  void stop();
  // ":N", for DISPLAY.
  const std::string& display() const { return display_; }

  // The id of the first window whose title is exactly `title`, waiting up to
  // `timeoutMs` for it to be mapped; empty when there is none.
  std::string findWindow(const std::string& title, int timeoutMs = 5000) const;
  // The window's pixels (import -window ID); false when they cannot be read.
  bool grabWindow(const std::string& windowId, Surface* out) const;
  // xdotool: a left click at (x, y) of the window, a key (xdotool's names).
  bool click(const std::string& windowId, int x, int y) const;
  bool key(const std::string& windowId, const std::string& keys) const;

 private:
  // Runs a command with DISPLAY set to this server; its exit status.
  int run(const std::string& command, std::string* output = nullptr) const;

  pid_t pid_ = -1;
  std::string display_;
};

// Reads an 8-bit RGB or RGBA PNG into a surface (alpha dropped).
bool readPngFile(const std::string& path, Surface* out);
