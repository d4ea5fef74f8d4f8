// Windows: RegisterClassW, CreateWindowExW, DestroyWindow, ShowWindow,
// UpdateWindow, SetForegroundWindow, IsWindow, IsWindowVisible, GetFocus,
// SetFocus, FindWindowW; the message numbers and window styles. Windows belong
// to the thread that made them; the messages they get are message_queue.h's.
#pragma once

#include <string>
#include <vector>

#include "platform/core/ce_types.h"

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_USER = 0x0400;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;
constexpr int SW_MAXIMIZE = 12;

constexpr DWORD WS_VISIBLE = 0x10000000u;
constexpr DWORD WS_OVERLAPPED = 0x00000000u;
constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000u);
constexpr UINT CS_VREDRAW = 0x0001;
constexpr UINT CS_HREDRAW = 0x0002;

constexpr WORD VK_CONTROL = 0x11;
constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_ESCAPE = 0x1B;

constexpr WORD LOWORD(uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr LPARAM MAKELPARAM(WORD lo, WORD hi) {
  return static_cast<LPARAM>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
}

struct WNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
};


// What WM_NCCREATE and WM_CREATE carry in lParam.
struct CREATESTRUCTW {
  LPVOID lpCreateParams;
  HINSTANCE hInstance;
  HMENU hMenu;
  HWND hwndParent;
  int cy;
  int cx;
  int y;
  int x;
  LONG style;
  LPCWSTR lpszName;
  LPCWSTR lpszClass;
  DWORD dwExStyle;
};

ATOM RegisterClassW(const WNDCLASSW* windowClass);
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL ShowWindow(HWND window, int showCommand);
BOOL UpdateWindow(HWND window);
BOOL SetForegroundWindow(HWND window);
BOOL IsWindow(HWND window);
BOOL IsWindowVisible(HWND window);
HWND GetFocus();
HWND SetFocus(HWND window);
HWND FindWindowW(LPCWSTR className, LPCWSTR windowName);

// ---- Host side: the process's windows, and windows of other processes ------
// Told whether any window is showing, each time that may have changed; the
// screen (the display family's, above this one) registers it at start-up, to
// show the desktop while none is.
void setWindowsShownListener(void (*listener)(bool anyShown));

// The top-level window shown in front (the last one shown or brought to the
// foreground and still visible), or null. The display backends draw it.
HWND foregroundWindow();

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
  DWORD thread;  // GetCurrentThreadId of the thread that made it
};
std::vector<LocalWindowInfo> listLocalTopLevelWindows();
// Every live window of the process, owned ones included (the worker's hidden
// window has the main window as owner but the same class and title).
std::vector<LocalWindowInfo> listLocalWindows();
