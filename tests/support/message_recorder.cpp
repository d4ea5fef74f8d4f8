#include "tests/support/message_recorder.h"
#include "platform/user/message_queue.h"
#include "platform/user/paint.h"

#include <atomic>

MessageRecorder& MessageRecorder::instance() {
  static MessageRecorder recorder;
  return recorder;
}

void MessageRecorder::add(const SeenMessage& m) {
  std::lock_guard<std::mutex> l(lock_);
  seen_.push_back(m);
}

std::vector<SeenMessage> MessageRecorder::take() {
  std::lock_guard<std::mutex> l(lock_);
  std::vector<SeenMessage> out;
  out.swap(seen_);
  return out;
}

std::vector<UINT> MessageRecorder::takeMessages(HWND window) {
  std::vector<UINT> out;
  for (const SeenMessage& m : take()) {
    if (m.window == window) out.push_back(m.message);
  }
  return out;
}

void MessageRecorder::clear() { take(); }

LRESULT recordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MessageRecorder& r = MessageRecorder::instance();
  r.add(SeenMessage{window, message, wParam, GetCurrentThreadId()});
  LRESULT result = 0;
  if (r.hook && r.hook(window, message, wParam, lParam, &result)) return result;
  return DefWindowProcW(window, message, wParam, lParam);
}

std::u16string registerRecordingClass() {
  static std::atomic<int> counter{0};
  std::u16string name = u"RecordingClass" + utf16FromUtf8(std::to_string(counter++));
  WNDCLASSW wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = recordingWindowProc;
  wc.lpszClassName = name.c_str();
  RegisterClassW(&wc);
  return name;
}

void drainThreadQueue() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_PAINT && m.hwnd) {
      PAINTSTRUCT ps;
      BeginPaint(m.hwnd, &ps);
      EndPaint(m.hwnd, &ps);
    }
  }
}

bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > timeoutMs) return false;
    MSG m;
    if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      DispatchMessageW(&m);
    } else {
      Sleep(1);
    }
  }
  return true;
}

const char* messageName(UINT message) {
  switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_PAINT: return "WM_PAINT";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_QUIT: return "WM_QUIT";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    case WM_KEYDOWN: return "WM_KEYDOWN";
    case WM_KEYUP: return "WM_KEYUP";
    case WM_CHAR: return "WM_CHAR";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_TIMER: return "WM_TIMER";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    default: return "WM_?";
  }
}
