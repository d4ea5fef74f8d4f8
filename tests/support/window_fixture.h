// The fixture of every test that makes windows on its own thread. Each test
// starts from a fresh device image and an empty queue, with a recording
// class of its own (message_recorder.h) and the recorder cleared; every
// window made through makeWindow is destroyed afterwards and what that left
// in the queue is dropped, so no message, paint or timer of one test reaches
// the next.
#pragma once

#include <string>
#include <vector>

#include "platform/ce.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/message_recorder.h"

class WindowTest : public DeviceImageTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A window of the recording class, or of `windowClass` when one is given.
  HWND makeWindow(DWORD style = 0, LPCWSTR title = u"t", HWND owner = nullptr,
                  const std::u16string& windowClass = u"");

  std::u16string recordingClass;

 private:
  std::vector<HWND> made_;
};
