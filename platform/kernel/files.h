// Files and folders: CreateFileW, ReadFile, WriteFile, SetFilePointer,
// GetFileSize, SetEndOfFile, FlushFileBuffers, CopyFileBytes (bulk copy
// between open files, not CE), CreateDirectoryW, RemoveDirectoryW, CopyFileW, DeleteFileW,
// MoveFileW, MoveFileExW, GetFileAttributesW. A handle is closed with
// CloseHandle (handles.h); errors are read with GetLastError (errors.h).
// Host side: the durable replacement of a host file.
#pragma once

#include <functional>
#include <string>

#include "platform/core/ce_types.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
// On a card's folder: a mounted storage card, as CE marks its cards' folders.
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x100;

// Each WriteFile reaches stable storage (fdatasync) before it returns.
constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000u;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFFu;

HANDLE CreateFileW(LPCWSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               LPOVERLAPPED overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
BOOL FlushFileBuffers(HANDLE file);
// Not CE: copies up to `bytes` from `from`'s position to `to`'s without
// carrying them through a buffer of the caller's, advancing both; fewer only
// at the end of `from`. After a failure the positions say nothing.
BOOL CopyFileBytes(HANDLE from, HANDLE to, DWORD bytes, LPDWORD copied);
// Not CE: gives `to` the permission bits of `from`, and its owner and group
// as far as the process may set them (another user's photo keeps its group
// if the process is in it; only a privileged process can keep the owner).
// FALSE when the permission bits cannot be set.
BOOL CopyFileOwnership(HANDLE from, HANDLE to);
// Cuts the file off at its file pointer.
BOOL SetEndOfFile(HANDLE file);

BOOL CreateDirectoryW(LPCWSTR pathName, LPSECURITY_ATTRIBUTES security);
BOOL RemoveDirectoryW(LPCWSTR pathName);
BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);
BOOL DeleteFileW(LPCWSTR fileName);
BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName);
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;
BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags);
DWORD GetFileAttributesW(LPCWSTR fileName);
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

// ---- Host side: replacing a file durably ---------------------------------------
// Replaces the host file at `path` so that the name always holds a whole
// file, the old one or the new one, and keeps the new one across a power cut:
// a temporary file beside it (`path`, then `tempTag`, then the process id;
// made with `mode`) gets what `fill` writes to the descriptor it is handed,
// is flushed, closed and renamed over `path`, and then the folder is flushed
// (a failure of that last flush is not reported). `fill` returns 0 or an
// errno value. Returns 0, or the errno value of the step that failed, after
// removing the temporary file if it was made.
int replaceFileDurably(const std::string& path, const char* tempTag, unsigned mode,
                       const std::function<int(int fd)>& fill);
// Takes the advisory lock `op` (LOCK_EX or LOCK_SH) on `fd` without waiting:
// false, with ERROR_SHARING_VIOLATION, when another process holds a lock
// that conflicts; true when the lock is taken, and also on a file system
// without locks (the in-process share modes then stand alone).
bool lockWithoutWaiting(int fd, int op);
// Writes all `size` bytes to `fd`, going on after short writes and EINTR; 0,
// or the errno value of the write that failed (EIO for one that wrote nothing).
// `written`, when given, gets how many bytes went, also when one failed.
int writeAllToHostFile(int fd, const void* bytes, size_t size, size_t* written = nullptr);
