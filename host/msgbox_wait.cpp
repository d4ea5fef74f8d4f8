// The waiting form of MessageBoxW: see msgbox_wait.h. The box is modal on its
// own thread only: that thread runs a message loop beneath it, so the batch
// timer, paints and posted messages go on while it is open, and the box ends
// when the control channel's press-ok, or OK or Enter on the display, dismisses
// it; it is drawn over the screen meanwhile. A quit message arriving
// meanwhile ends the box and is posted again for the loop outside, as CE's
// modal loops do.
#include "host/msgbox_wait.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/display/display_driver.h"
#include "platform/user/msgbox.h"
#include "platform/display/screen.h"
#include "platform/core/threads.h"
#include "platform/core/wide_text.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

namespace {

struct OpenBox {
  unsigned id;
  DWORD thread;
  std::u16string title;
  std::u16string text;
  bool dismissed;
};

std::mutex gMutex;
std::vector<OpenBox> gBoxes;  // in the order they opened; the last is on top
unsigned gNextId = 1;

bool dismissed(unsigned id) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (const OpenBox& b : gBoxes)
    if (b.id == id) return b.dismissed;
  return true;
}

int waitingMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  unsigned id;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    id = gNextId++;
    gBoxes.push_back(
        OpenBox{id, GetCurrentThreadId(), caption ? caption : u"", text ? text : u"", false});
  }
  // Drawn over the screen, where a tap on its OK or Enter dismisses it too.
  int drawn = showScreenMessageBox(caption ? caption : u"Error", text);
  // Printed once the box is open, so whoever reads the line finds it open.
  headlessMessageBox(owner, text, caption, type);
  MSG msg = {};
  bool quit = false;
  while (!dismissed(id)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      quit = got == 0;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gBoxes.erase(std::remove_if(gBoxes.begin(), gBoxes.end(),
                                [id](const OpenBox& b) { return b.id == id; }),
                 gBoxes.end());
  }
  hideScreenMessageBox(drawn);
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
  return IDOK;
}

// Marks the top box dismissed and wakes its loop; false when none is open.
bool dismissTopBox() {
  DWORD thread = 0;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    for (auto it = gBoxes.rbegin(); it != gBoxes.rend() && !thread; ++it) {
      if (it->dismissed) continue;
      it->dismissed = true;
      thread = it->thread;
    }
  }
  if (!thread) return false;
  // Wakes the box's loop, which then sees it was dismissed.
  PostThreadMessageW(thread, WM_NULL, 0, 0);
  return true;
}

// OK tapped or Enter pressed on the display: the drawn box is gone already.
void dismissedOnScreen() { dismissTopBox(); }

}  // namespace

void useWaitingMessageBoxes() {
  setMessageBoxBackend(waitingMessageBox);
  setMessageBoxWaker(dismissedOnScreen);
}

bool topMessageBox(std::u16string* title, std::u16string* text) {
  std::lock_guard<std::mutex> lock(gMutex);
  for (auto it = gBoxes.rbegin(); it != gBoxes.rend(); ++it) {
    if (it->dismissed) continue;
    *title = it->title;
    *text = it->text;
    return true;
  }
  return false;
}

bool pressOkOnTopMessageBox() {
  if (!dismissTopBox()) return false;
  dismissTopScreenMessageBox();
  return true;
}
