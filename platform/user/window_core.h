// The state behind windows, message queues and timers, shared by the files
// of that family (windows.cpp, message_queue.cpp, timers.cpp).
//
// One mutex guards all of it. The program has two threads and a handful of
// windows, so one lock costs nothing and makes every cross-thread path (a post,
// a send and its reply, a timer armed from another thread) simple to reason
// about. Window procedures are never called with the lock held.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/ce_types.h"
#include "platform/user/timers.h"
#include "platform/user/message_queue.h"
#include "platform/user/windows.h"

namespace wincore {

using Clock = std::chrono::steady_clock;

struct ThreadQueue;

// A message sent from one thread to a window of another: the sender blocks
// until the owner thread has run `task` and stored the result.
struct SentMessage {
  std::function<LRESULT()> task;
  LRESULT result = 0;
  bool done = false;
  std::shared_ptr<ThreadQueue> sender;
};

struct Timer {
  HWND window;  // null for a thread timer
  uintptr_t id;
  UINT periodMs;
  TIMERPROC proc;
  Clock::time_point due;
};

struct ThreadQueue {
  DWORD threadId = 0;
  bool alive = true;
  std::condition_variable wake;  // posts, sends, replies, timers, paints
  std::deque<MSG> posted;
  std::deque<std::shared_ptr<SentMessage>> sent;
  bool quitPending = false;
  int quitCode = 0;
  std::vector<Timer> timers;
  HWND focus = nullptr;
  // Key state as of the last key message this thread retrieved.
  bool controlDown = false;
  bool shiftDown = false;
  bool altDown = false;
};

struct Window {
  bool live = false;
  bool destroying = false;
  uint16_t generation = 0;
  std::u16string className;
  std::u16string title;
  WNDPROC proc = nullptr;
  UINT classStyle = 0;
  DWORD style = 0;
  HWND owner = nullptr;
  std::shared_ptr<ThreadQueue> queue;  // of the thread that created it
  bool visible = false;
  LONG width = 0;
  LONG height = 0;
  bool hasUpdate = false;
  bool eraseUpdate = false;
  RECT update{};
  std::vector<RECT> invalidations;
  uint64_t createdOrder = 0;
};

struct WindowClass {
  std::u16string name;
  WNDCLASSW wc;
  ATOM atom;
};

struct Core {
  std::mutex lock;
  std::vector<Window> windows;  // slot i is handle slot i + 1
  std::vector<WindowClass> classes;
  std::vector<std::shared_ptr<ThreadQueue>> queues;  // live threads with a queue
  RemoteWindowBackend remote{};
  HWND foreground = nullptr;
  uint64_t nextCreatedOrder = 1;
  uintptr_t nextThreadTimerId = 1;
};

// The one instance, never destroyed (threads may still use it during exit).
Core& core();

// The calling thread's queue, made on first use. Needs the lock held.
std::shared_ptr<ThreadQueue> currentQueueLocked(Core& c);
// The queue of a live thread, or null. Needs the lock held.
std::shared_ptr<ThreadQueue> queueOfThreadLocked(Core& c, DWORD threadId);

// The live local window a handle names, or null. Needs the lock held.
Window* windowLocked(Core& c, HWND window);
HWND handleOfSlot(const Core& c, size_t slot);

// Runs `task` on the thread that owns `window`: at once when that is the
// calling thread, otherwise as a sent message, waiting for its reply while the
// calling thread goes on answering messages sent to it. Takes the lock
// unlocked; returns `failed` when the window or its thread is gone.
LRESULT runOnOwnerThread(HWND window, std::function<LRESULT()> task, LRESULT failed);

// Runs the calling thread's pending sent messages. Called with the lock held
// through `held`; unlocks around each task. Returns whether it ran any.
bool runSentMessagesLocked(Core& c, ThreadQueue& q, std::unique_lock<std::mutex>& held);

// Calls a window procedure for a message on the calling thread (no lock held).
LRESULT callWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The client rectangle the update region is clipped to.
RECT clientRectLocked(const Window& w);

// Ends the calling thread's message queue: its windows die without messages,
// its timers stop, senders waiting on it are released. Called when a thread
// made by CreateThread returns, and at the exit of any other thread.
void retireCurrentThreadQueue();

// Tells the screen whether any window is showing (the desktop shows when none
// is). Takes the lock itself: call it without.
void syncScreenShown();

// Wakes every thread waiting in a message loop or a thread wait (a thread
// ended). Needs the lock held.
void wakeAllLocked(Core& c);

}  // namespace wincore
