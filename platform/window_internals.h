// What the other pieces of the layer need from the window and message core:
// the painting layer's device-context hooks, the cross-process transport's
// hooks, the test view of invalidations, and the message box backend.
// Not for the program's own code: it calls the CE functions only.
#pragma once

#include <string>
#include <vector>

#include "platform/ce_types.h"
#include "platform/windows.h"

// ---- Painting ---------------------------------------------------------------
// BeginPaint asks the painting layer for a device context that draws into the
// window, clipped to `clip` (the update rectangle); EndPaint hands it back.
// The defaults here (weak) draw on the screen's window layer through the
// painting layer, with the window's client area at the screen's origin.
HDC paintingBeginWindowDC(HWND window, const RECT& clip);
void paintingEndWindowDC(HWND window, HDC dc);

// The window's pending update rectangle: false when nothing is invalid.
bool windowUpdateRect(HWND window, RECT* rect);
// Every InvalidateRect call made on a window since it was created or since the
// log was cleared, in order, as client rectangles (a null rectangle recorded
// as the whole client area). Lets tests check what a step asked to repaint.
std::vector<RECT> windowInvalidationLog(HWND window);
void clearWindowInvalidationLog(HWND window);
// The top-level window shown in front (the last one shown or brought to the
// foreground and still visible), or null. The display backends draw it.
HWND foregroundWindow();

// ---- Windows of other processes ----------------------------------------------
// Handles of remote windows are made by the transport and are never confused
// with local ones: local handles stay below 0x10000000, remote handles have
// bit 30 set and carry a 30-bit token of the transport's choosing.
constexpr uintptr_t kRemoteWindowFlag = 0x40000000u;
inline HWND makeRemoteWindowHandle(uint32_t token) {
  return reinterpret_cast<HWND>(kRemoteWindowFlag | (token & 0x3FFFFFFFu));
}
inline bool isRemoteWindowHandle(HWND window) {
  return (reinterpret_cast<uintptr_t>(window) & ~uintptr_t{0x3FFFFFFFu}) == kRemoteWindowFlag;
}
inline uint32_t remoteWindowToken(HWND window) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window) & 0x3FFFFFFFu);
}

// FindWindowW asks `find` when no local window matches; PostMessageW hands
// remote handles to `post`. Either member may be null.
struct RemoteWindowBackend {
  HWND (*find)(LPCWSTR className, LPCWSTR windowName);
  BOOL (*post)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
// The backend is copied; null removes it.
void setRemoteWindowBackend(const RemoteWindowBackend* backend);

// The process's live top-level windows (no owner), for the transport to
// publish. Handles are local ones, usable with postToLocalWindow.
struct LocalWindowInfo {
  HWND window;
  std::u16string className;
  std::u16string title;
};
std::vector<LocalWindowInfo> listLocalTopLevelWindows();
// Every live window of the process, owned ones included (the worker's hidden
// window has the main window as owner but the same class and title).
std::vector<LocalWindowInfo> listLocalWindows();
// PostMessageW itself may be called from any thread (it takes a lock), so a
// thread that waits for SIGINT / SIGTERM with sigwait can post WM_CLOSE to the
// main window. It is not async-signal-safe: never call it inside a handler.
//
// Delivers a message that arrived from another process, as PostMessageW would
// post it locally. FALSE with ERROR_INVALID_WINDOW_HANDLE when the window is
// gone.
BOOL postToLocalWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// ---- Message boxes ----------------------------------------------------------
// MessageBoxW hands every box to the backend. The default, headless one writes
// `msgbox<TAB>title<TAB>text` to standard output and returns IDOK.
using MessageBoxBackend = int (*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// Null restores the headless backend. Returns the backend it replaced.
MessageBoxBackend setMessageBoxBackend(MessageBoxBackend backend);
// The headless form, for backends that print the line and then do more.
int headlessMessageBox(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
// The line the headless form prints, without its line end: the text with
// each line break written as the two characters \n, in UTF-8.
std::string messageBoxLine(LPCWSTR text, LPCWSTR caption);

// ---- Threads ----------------------------------------------------------------
// Whether the calling thread has a message queue (it is made on first use).
bool currentThreadHasQueue();
