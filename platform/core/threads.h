// Threads: CreateThread, Sleep, GetCurrentThreadId, WaitForSingleObject on a
// thread handle.
#pragma once

#include "platform/core/ce_types.h"

using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

constexpr DWORD INFINITE = 0xFFFFFFFFu;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, DWORD stackSize,
                    LPTHREAD_START_ROUTINE startAddress, LPVOID parameter,
                    DWORD creationFlags, LPDWORD threadId);
void Sleep(DWORD milliseconds);
DWORD GetCurrentThreadId();
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
DWORD GetTickCount();

// ---- Host side: waits that answer messages -----------------------------------
// A thread waiting in WaitForSingleObject goes on answering the messages other
// threads send to its windows, so that a UI thread waiting for its worker
// cannot deadlock with a worker that is showing the UI thread's window. Windows
// and their queues are the user family's, above this one: it registers these
// at start-up. Without them a wait only waits.
struct ThreadWaitHooks {
  // Waits until finished(context) holds or `milliseconds` pass (INFINITE: no
  // limit), running the calling thread's sent messages meanwhile. Whether
  // finished(context) held at the end.
  bool (*waitAnswering)(bool (*finished)(const void* context), const void* context,
                        DWORD milliseconds);
  // Wakes the threads in waitAnswering to look at their condition again.
  void (*wakeWaiters)();
  // Runs on a thread made by CreateThread once its start routine returns,
  // before a waiter can see it ended.
  void (*threadEnding)();
};
// The hooks must outlive every thread (a static object).
void setThreadWaitHooks(const ThreadWaitHooks* hooks);
