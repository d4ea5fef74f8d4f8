// Records what window procedures see, for tests that check message order as
// tables. A recording procedure logs every message (window, message, wParam,
// the thread it ran on) and answers as the default procedure would.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ce.h"

struct SeenMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  DWORD threadId;
};

class MessageRecorder {
 public:
  static MessageRecorder& instance();
  void add(const SeenMessage& m);
  std::vector<SeenMessage> take();  // everything so far, and clears
  std::vector<UINT> takeMessages(HWND window);  // just the message numbers, one window
  void clear();
  // Runs inside the procedure before the default answer; may return true and
  // set *result to answer itself.
  std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> hook;

 private:
  std::mutex lock_;
  std::vector<SeenMessage> seen_;
};

LRESULT recordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers a class with a name of its own (classes live for the process) and
// the recording procedure; returns the name.
std::u16string registerRecordingClass();

// Empties the calling thread's queue (quit flag included) without dispatching.
void drainThreadQueue();

// Pumps the calling thread's queue (dispatching) until `done` or the time is up.
bool pumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 2000);

const char* messageName(UINT message);
