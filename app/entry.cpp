// The entry point. One executable plays three roles, chosen by its own path:
// a normal background run (started at boot), an installer and a remover. A
// normal run creates the main window hidden, records the card in the slot,
// starts the GPS worker and pumps the UI thread's messages until the main
// window is destroyed. Install and remove first ask a running copy to close,
// then do their work and end with a message box: the success message only
// when every step really happened, else an error box saying which failed.
#include "app/entry.h"

#include <cstring>

#include "app/run_mode.h"
#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "gps/gps_worker.h"
#include "platform/kernel/files.h"
#include "platform/user/msgbox.h"
#include "platform/registry/registry.h"
#include "platform/user/resources.h"
#include "platform/core/threads.h"
#include "platform/core/wide_text.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "platform/user/windows.h"
#include "ui/main_window_proc.h"
#include "platform/kernel/module_path.h"
#include "platform/user/message_queue.h"

namespace {

constexpr int kTextChars = 100;

const WCHAR kInstallFolder[] = u"\\ResidentFlash\\vellumtrace";
const WCHAR kInstalledExe[] = u"\\ResidentFlash\\vellumtrace\\vellumtrace.exe";
const WCHAR kInitKey[] = u"init";
const WCHAR kLaunchValue[] = u"Launch500";

constexpr WPARAM kCloseRequestCode = 1147;
constexpr DWORD kCloseWaitMs = 1000;

// An installing or removing copy never carries the string table's title, so
// it cannot find and close itself.
const WCHAR kInstallRemoveTitle[] = u"VellumTrace install/remove";

const WCHAR kMessageTitle[] = u"TARNIXGPS VellumTrace";
const WCHAR kInstalledText[] =
    u"Программа VellumTrace установлена.\nПри следующем включении навигатора Vellumtrace "
    u"начнет работу в фоновом режиме.";
const WCHAR kRemovedText[] = u"Программа VellumTrace удалена.";
const WCHAR kNotInstalledText[] = u"Программа VellumTrace не установлена.";
const WCHAR kNotRemovedText[] = u"Программа VellumTrace не удалена.";
const WCHAR kCopyFailedText[] =
    u"Не удалось скопировать программу в \\ResidentFlash\\vellumtrace\\vellumtrace.exe.";
const WCHAR kRegisterFailedText[] =
    u"Не удалось записать запуск при включении в реестр (HKEY_LOCAL_MACHINE\\init, Launch500).";
const WCHAR kDeleteFailedText[] =
    u"Не удалось удалить \\ResidentFlash\\vellumtrace\\vellumtrace.exe.";
const WCHAR kUnregisterFailedText[] =
    u"Не удалось удалить запуск при включении из реестра (HKEY_LOCAL_MACHINE\\init, Launch500).";
constexpr int kReportChars = 512;

WCHAR modulePath[MAX_PATH];
HACCEL accelerators = nullptr;
DWORD workerThreadId = 0;

RunMode readRunMode() {
  memset(modulePath, 0, sizeof modulePath);
  GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
  return runModeOf(modulePath);
}

// The error box of a role that did not complete: what was not done, then
// each step that failed, one a line.
void reportFailure(LPCWSTR what, LPCWSTR firstFailure, LPCWSTR secondFailure) {
  WCHAR text[kReportChars];
  wsprintfW(text, u"%s\n%s%s%s", what, firstFailure ? firstFailure : u"",
            firstFailure && secondFailure ? u"\n" : u"", secondFailure ? secondFailure : u"");
  MessageBoxW(nullptr, text, kMessageTitle, MB_OK | MB_ICONERROR);
}

// Nothing to remove counts as removed: a second remove finds nothing left.
bool isAbsence(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void messageLoop(MSG* msg) {
  while (GetMessageW(msg, nullptr, 0, 0) > 0) {
    if (!TranslateAcceleratorW(msg->hwnd, accelerators, msg)) {
      TranslateMessage(msg);
      DispatchMessageW(msg);
    }
  }
}

}  // namespace

ATOM registerMainWindowClass(HINSTANCE instance, LPCWSTR className) {
  WNDCLASSW wc = {};
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = mainWindowProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  wc.hIcon = nullptr;
  wc.hCursor = nullptr;
  wc.hbrBackground = nullptr;
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = className;
  return RegisterClassW(&wc);
}

int createMainWindow(HINSTANCE instance) {
  shared.appInstance = instance;
  WCHAR title[kTextChars] = {};
  WCHAR className[kTextChars] = {};
  if (readRunMode() != RunMode::Normal)
    wcsncpy16(title, kInstallRemoveTitle, kTextChars);
  else
    LoadStringW(instance, IDS_WINDOW_TITLE, title, kTextChars);
  LoadStringW(instance, IDS_WINDOW_CLASS, className, kTextChars);
  if (!registerMainWindowClass(instance, className)) return 0;
  HWND window = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!window) return 0;
  shared.mainWindow = window;
  ShowWindow(window, SW_HIDE);
  UpdateWindow(window);
  return 1;
}

void closeRunningInstance() {
  // The running copy's windows, the main window and the worker's, carry the
  // class and title of the string table.
  WCHAR runningClass[kTextChars] = {};
  WCHAR runningTitle[kTextChars] = {};
  LoadStringW(shared.appInstance, IDS_WINDOW_CLASS, runningClass, kTextChars);
  LoadStringW(shared.appInstance, IDS_WINDOW_TITLE, runningTitle, kTextChars);
  // Posted even when nothing was found, and then given a second to close its
  // log and end, so the copy that follows does not race it for the files.
  HWND running = FindWindowW(runningClass, runningTitle);
  PostMessageW(running, WM_CLOSE, kCloseRequestCode, 0);
  Sleep(kCloseWaitMs);
}

void installSelf() {
  CreateDirectoryW(kInstallFolder, nullptr);  // an existing folder is no error; the copy tells
  closeRunningInstance();
  if (!CopyFileW(modulePath, kInstalledExe, FALSE)) {
    // Nothing is registered for a program that is not in place.
    reportFailure(kNotInstalledText, kCopyFailedText, nullptr);
    return;
  }
  HKEY key = nullptr;
  bool registered = false;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInitKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
    // The whole path with its terminating NUL, so the value reads back as
    // the complete text.
    DWORD bytes = static_cast<DWORD>((wcslen16(kInstalledExe) + 1) * sizeof(WCHAR));
    const BYTE* data = reinterpret_cast<const BYTE*>(kInstalledExe);
    registered = RegSetValueExW(key, kLaunchValue, 0, REG_SZ, data, bytes) == ERROR_SUCCESS;
    RegCloseKey(key);
  }
  if (!registered) {
    reportFailure(kNotInstalledText, kRegisterFailedText, nullptr);
    return;
  }
  MessageBoxW(nullptr, kInstalledText, kMessageTitle, MB_OK);
}

void removeSelf() {
  closeRunningInstance();
  bool deleted = DeleteFileW(kInstalledExe) || isAbsence(GetLastError());
  HKEY key = nullptr;
  LONG opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kInitKey, 0, KEY_ALL_ACCESS, &key);
  bool unregistered = isAbsence(static_cast<DWORD>(opened));
  if (opened == ERROR_SUCCESS) {
    LONG r = RegDeleteValueW(key, kLaunchValue);
    unregistered = r == ERROR_SUCCESS || isAbsence(static_cast<DWORD>(r));
    RegCloseKey(key);
  }
  if (!deleted || !unregistered) {
    reportFailure(kNotRemovedText, deleted ? nullptr : kDeleteFailedText,
                  unregistered ? nullptr : kUnregisterFailedText);
    return;
  }
  // The install folder and the track logs in it stay.
  MessageBoxW(nullptr, kRemovedText, kMessageTitle, MB_OK);
}

int startApplication(HINSTANCE instance, HINSTANCE, LPWSTR, int) {
  // What a resource compiler would have linked into the executable.
  setModuleResources(&programResources());
  if (!createMainWindow(instance)) return 0;
  accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  shared.cardBytesTotal = 0;
  shared.cardBytesFree = 0;
  switch (readRunMode()) {
    case RunMode::Install:
      installSelf();
      return 0;
    case RunMode::Remove:
      removeSelf();
      return 0;
    case RunMode::Normal:
      break;
  }
  // A card already in the slot is the card last seen, so it is never
  // announced as new.
  readCardIdentity();
  memcpy(shared.prevCardIdentity, shared.cardIdentity, sizeof shared.prevCardIdentity);
  HANDLE worker = CreateThread(nullptr, 0, gpsWorkerThread, nullptr, 0, &workerThreadId);
  (void)worker;  // lives as long as the process
  MSG msg = {};
  messageLoop(&msg);
  return static_cast<int>(msg.wParam);
}
