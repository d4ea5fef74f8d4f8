#include "tests/support/screen_fixture.h"

#include <cstdio>

#include "app/state/shared_state.h"
#include "platform/user/paint.h"
#include "platform/user/message_queue.h"
#include "platform/user/msgbox.h"
#include "ui/batch_controller.h"
#include "ui/main_window_proc.h"

std::vector<RecordedBox> ScreenTest::boxes;
std::function<void()> ScreenTest::whileBoxOpen;

void ScreenTest::SetUp() {
  WindowTest::SetUp();
  boxes.clear();
  whileBoxOpen = nullptr;
  setMessageBoxBackend([](HWND, LPCWSTR text, LPCWSTR caption, UINT) -> int {
    ScreenTest::boxes.push_back({utf8FromUtf16(caption), utf8FromUtf16(text)});
    if (ScreenTest::whileBoxOpen) {
      auto hook = ScreenTest::whileBoxOpen;
      ScreenTest::whileBoxOpen = nullptr;
      hook();
    }
    return IDOK;
  });
  static bool registered = false;
  if (!registered) {
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = mainWindowProc;
    wc.lpszClassName = u"VtScreenTest";
    registered = RegisterClassW(&wc) != 0;
  }
  window = makeWindow(WS_VISIBLE, u"screen test", nullptr, u"VtScreenTest");
  ASSERT_NE(window, nullptr);
  shared.mainWindow = window;
  ShowWindow(window, SW_MAXIMIZE);
  UpdateWindow(window);
  clearWindowInvalidationLog(window);
}

void ScreenTest::TearDown() {
  setMessageBoxBackend(nullptr);
  whileBoxOpen = nullptr;
  shared.photoList = nullptr;
  // The window goes, and with it its timers and the quit message its
  // WM_DESTROY posts.
  WindowTest::TearDown();
}

void ScreenTest::listPhotos(int count) {
  nodes.assign(static_cast<size_t>(count), PhotoEntry{});
  for (int i = 0; i < count; ++i) {
    char name[64];
    snprintf(name, sizeof name, "\\SDMMC\\DCIM\\IMG_%04d.JPG", i + 1);
    wcsncpy16(nodes[i].path, utf16FromUtf8(name).c_str(), 100);
    nodes[i].next = i + 1 < count ? &nodes[i + 1] : nullptr;
  }
  shared.photoList = count > 0 ? &nodes[0] : nullptr;
  shared.photoCount = count;
  shared.progressPercent = 0.0f;
  shared.prevProgressPercent = 0.0f;
}

LRESULT ScreenTest::send(UINT message, WPARAM wParam, LPARAM lParam) {
  return mainWindowProc(window, message, wParam, lParam);
}

void ScreenTest::touch(unsigned x, unsigned y) {
  send(WM_LBUTTONDOWN, 0, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
}

void ScreenTest::tick() { send(WM_TIMER, kBatchTimerId, 0); }

std::vector<RECT> ScreenTest::takeInvalidations() {
  std::vector<RECT> rects = windowInvalidationLog(window);
  clearWindowInvalidationLog(window);
  return rects;
}

bool ScreenTest::shown() { return IsWindowVisible(window) != FALSE; }

std::string rectText(const RECT& r) {
  char text[80];
  snprintf(text, sizeof text, "(%ld,%ld,%ld,%ld)", static_cast<long>(r.left),
           static_cast<long>(r.top), static_cast<long>(r.right), static_cast<long>(r.bottom));
  return text;
}

std::string rectsText(const std::vector<RECT>& rects) {
  std::string out;
  for (const RECT& r : rects) out += (out.empty() ? "" : " ") + rectText(r);
  return out;
}
