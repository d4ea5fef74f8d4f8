// Threads: CreateThread, Sleep, GetCurrentThreadId, WaitForSingleObject and
// GetExitCodeThread on a thread handle, GetTickCount.
//
// A thread is a host thread (std::thread, detached) with a handle in the
// handle table; the handle keeps the thread's end state (exit code) alive
// after the thread has gone, until it is closed. Thread ids are small numbers
// handed out in the order threads first ask, never reused.
//
// A thread waiting in WaitForSingleObject goes on answering messages that
// other threads send to its windows, through the wait the user family
// registers (setThreadWaitHooks); until it does, a wait is a plain one.
//
// Not supported: CREATE_SUSPENDED, thread priorities, waiting on other kinds
// of handle.
#include "platform/core/threads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/core/handles.h"
#include "platform/core/errors.h"

namespace {

constexpr DWORD kStillActive = 259;
constexpr DWORD kCreateSuspended = 0x4;

std::atomic<DWORD> gNextThreadId{1};
thread_local DWORD tThreadId = 0;

// The end state of a thread. `done` is set under gEndLock (for the plain
// wait) after `exitCode`, and read without it by a registered wait.
struct ThreadRecord {
  DWORD id = 0;
  std::atomic<bool> done{false};
  std::atomic<DWORD> exitCode{kStillActive};
};

std::atomic<const ThreadWaitHooks*> gHooks{nullptr};
std::mutex gEndLock;
std::condition_variable gEnded;

bool recordDone(const void* record) {
  return static_cast<const ThreadRecord*>(record)->done.load();
}

using RecordRef = std::shared_ptr<ThreadRecord>;

void closeThreadHandle(HandleEntry& entry) {
  delete static_cast<RecordRef*>(entry.extra);
  entry.extra = nullptr;
}

RecordRef recordOf(HANDLE handle) {
  HandleEntry entry;
  if (!lookupHandle(handle, HandleKind::Thread, &entry) || !entry.extra) return nullptr;
  return *static_cast<RecordRef*>(entry.extra);
}

}  // namespace

DWORD GetCurrentThreadId() {
  if (tThreadId == 0) tThreadId = gNextThreadId.fetch_add(1);
  return tThreadId;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, DWORD, LPTHREAD_START_ROUTINE startAddress,
                    LPVOID parameter, DWORD creationFlags, LPDWORD threadId) {
  if (!startAddress || (creationFlags & kCreateSuspended)) {
    SetLastError(startAddress ? ERROR_NOT_SUPPORTED : ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  static const bool closerSet = (setHandleCloser(HandleKind::Thread, closeThreadHandle), true);
  (void)closerSet;
  auto record = std::make_shared<ThreadRecord>();
  record->id = gNextThreadId.fetch_add(1);
  HandleEntry entry;
  entry.kind = HandleKind::Thread;
  entry.extra = new RecordRef(record);
  HANDLE handle = addHandle(entry);
  if (handle == INVALID_HANDLE_VALUE) {
    delete static_cast<RecordRef*>(entry.extra);
    return nullptr;
  }
  try {
    std::thread([record, startAddress, parameter] {
      tThreadId = record->id;
      DWORD code = startAddress(parameter);
      const ThreadWaitHooks* hooks = gHooks.load();
      if (hooks) hooks->threadEnding();
      record->exitCode.store(code);
      {
        std::lock_guard<std::mutex> lock(gEndLock);
        record->done.store(true);
      }
      gEnded.notify_all();
      if (hooks) hooks->wakeWaiters();
    }).detach();
  } catch (const std::system_error&) {
    closeHandleEntry(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (threadId) *threadId = record->id;
  return handle;
}

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    std::this_thread::yield();
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  RecordRef record = recordOf(handle);
  if (!record) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (const ThreadWaitHooks* hooks = gHooks.load()) {
    return hooks->waitAnswering(recordDone, record.get(), milliseconds) ? WAIT_OBJECT_0
                                                                          : WAIT_TIMEOUT;
  }
  std::unique_lock<std::mutex> lock(gEndLock);
  auto done = [&] { return record->done.load(); };
  if (milliseconds == INFINITE) {
    gEnded.wait(lock, done);
    return WAIT_OBJECT_0;
  }
  return gEnded.wait_for(lock, std::chrono::milliseconds(milliseconds), done) ? WAIT_OBJECT_0
                                                                               : WAIT_TIMEOUT;
}

void setThreadWaitHooks(const ThreadWaitHooks* hooks) { gHooks.store(hooks); }

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  RecordRef record = recordOf(thread);
  if (!record || !exitCode) {
    SetLastError(record ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = record->done.load() ? record->exitCode.load() : kStillActive;
  return TRUE;
}

DWORD GetTickCount() {
  using namespace std::chrono;
  static const auto start = steady_clock::now();
  return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now() - start).count());
}
