// A main window in a fresh device image for driving the tagging screen
// through its window procedure: touches, timer ticks and commands as
// messages, the message boxes recorded (and answered at once), and what each
// step invalidated read back from the window layer.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "card/photo_list.h"
#include "platform/ce.h"
#include "tests/support/window_fixture.h"

struct RecordedBox {
  std::string title;
  std::string text;
};

class ScreenTest : public WindowTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Lists photos \SDMMC\DCIM\IMG_0001.JPG ... as discovery would (the first
  // path at the head). The files need not exist: a missing photo is one the
  // batch takes but does not tag.
  void listPhotos(int count);
  LRESULT send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  void touch(unsigned x, unsigned y);
  void tick();
  // The rectangles invalidated since the last call.
  std::vector<RECT> takeInvalidations();
  bool shown();

  HWND window = nullptr;
  std::vector<PhotoEntry> nodes;
  static std::vector<RecordedBox> boxes;
  // Runs while a message box is open, as the modal loop would dispatch
  // messages beneath it.
  static std::function<void()> whileBoxOpen;
};

std::string rectText(const RECT& r);
std::string rectsText(const std::vector<RECT>& rects);
