// Message queues and the message loop: GetMessageW, PeekMessageW,
// PostMessageW, PostThreadMessageW, SendMessageW, PostQuitMessage,
// TranslateMessage, DispatchMessageW, DefWindowProcW. One queue per thread,
// made on first use.
//
// PostMessageW may be called from any thread (it takes a lock), so a thread
// that waits for SIGINT / SIGTERM with sigwait can post WM_CLOSE. It is not
// async-signal-safe: never call it inside a handler.
#pragma once

#include "platform/core/ce_types.h"
#include "platform/user/windows.h"

struct MSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
};
using LPMSG = MSG*;

BOOL GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;
BOOL PeekMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeMsg);
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostThreadMessageW(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageW(const MSG* msg);
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Host side ------------------------------------------------------------------
// Delivers a message that arrived from another process, as PostMessageW would
// post it locally. FALSE with ERROR_INVALID_WINDOW_HANDLE when the window is
// gone.
BOOL postToLocalWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Whether the calling thread has a message queue (it is made on first use).
bool currentThreadHasQueue();
