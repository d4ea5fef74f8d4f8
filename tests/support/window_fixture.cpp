#include "tests/support/window_fixture.h"

#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

void WindowTest::SetUp() {
  DeviceImageTest::SetUp();
  drainThreadQueue();
  MessageRecorder::instance().hook = nullptr;
  MessageRecorder::instance().clear();
  recordingClass = registerRecordingClass();
}

void WindowTest::TearDown() {
  MessageRecorder::instance().hook = nullptr;
  for (HWND w : made_) {
    if (IsWindow(w)) DestroyWindow(w);
  }
  made_.clear();
  drainThreadQueue();
  MessageRecorder::instance().clear();
  DeviceImageTest::TearDown();
}

HWND WindowTest::makeWindow(DWORD style, LPCWSTR title, HWND owner,
                            const std::u16string& windowClass) {
  const std::u16string& cls = windowClass.empty() ? recordingClass : windowClass;
  HWND w = CreateWindowExW(0, cls.c_str(), title, style, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, nullptr, nullptr);
  if (w) made_.push_back(w);
  return w;
}
