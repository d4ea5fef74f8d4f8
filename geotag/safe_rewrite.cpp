#include "geotag/safe_rewrite.h"

#include <cstring>

#include "card/tagging_copy.h"
#include "platform/core/byte_order.h"
#include "geotag/offset_relocation.h"
#include "platform/kernel/files.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"

// The temporary file, in DCIM whichever folder the photo is in.
constexpr const WCHAR* kTempPhotoPath = kTaggingCopyPath;

namespace {

constexpr DWORD kCopyBufferBytes = 60000;
// One insertion runs at a time (the temporary file's name is fixed), so the
// buffers live here instead of on the stack.
uint8_t copyBuffer[kCopyBufferBytes];
uint8_t readBack[kApp1PayloadCapacity];

bool writeAll(HANDLE file, const void* data, DWORD size) {
  DWORD done = 0;
  return WriteFile(file, data, size, &done, nullptr) && done == size;
}

// Copies `size` bytes of `from`, starting at `offset`, to the end of `to`.
bool copyBytes(HANDLE from, uint32_t offset, uint64_t size, HANDLE to) {
  if (SetFilePointer(from, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
    return false;
  while (size > 0) {
    DWORD want = size < kCopyBufferBytes ? static_cast<DWORD>(size) : kCopyBufferBytes;
    DWORD got = 0;
    if (!ReadFile(from, copyBuffer, want, &got, nullptr) || got != want) return false;
    if (!writeAll(to, copyBuffer, got)) return false;
    size -= got;
  }
  return true;
}

// Copies the rest of the photo, from `offset` to its end, by the layer's bulk
// copy: the photo's body in pieces far larger than the copy buffer here.
bool copyRest(HANDLE from, uint32_t offset, uint64_t size, HANDLE to) {
  if (SetFilePointer(from, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
    return false;
  DWORD copied = 0;
  return size <= 0xFFFFFFFFu && CopyFileBytes(from, to, static_cast<DWORD>(size), &copied) && copied == size;
}

// The copy's APP1, read back from the card, must be what was meant, and must
// read as a geotagged photo of the same layout.
bool copyReadsBack(HANDLE temp, const PhotoApp1& app1, const TaggedCopy& copy) {
  const DWORD size = 2 + copy.payloadSize;
  DWORD got = 0;
  if (SetFilePointer(temp, static_cast<LONG>(app1.lengthField), nullptr, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER ||
      !ReadFile(temp, readBack, size, &got, nullptr) || got != size)
    return false;
  if (readBe16(readBack) != copy.payloadSize + 2 || memcmp(readBack + 2, copy.payload, copy.payloadSize))
    return false;
  ExifLayout back;
  if (readExifLayout(readBack + 2, copy.payloadSize, &back) != TagOutcome::AlreadyGeotagged) return false;
  return readsAsExpected(back, copy.expected);
}

// The whole file is the tagged copy: its length, and its APP1 read back.
bool isWholeTaggedCopy(HANDLE file, const PhotoApp1& app1, const TaggedCopy& copy) {
  DWORD high = 0;
  return GetFileSize(file, &high) == uint64_t{app1.fileSize} + copy.payloadSize - app1.payloadSize() && high == 0 &&
         copyReadsBack(file, app1, copy);
}

bool photoIsTaggedCopy(LPCWSTR photoPath, const PhotoApp1& app1, const TaggedCopy& copy) {
  HANDLE photo = CreateFileW(photoPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (photo == INVALID_HANDLE_VALUE) return false;
  bool tagged = isWholeTaggedCopy(photo, app1, copy);
  CloseHandle(photo);
  return tagged;
}

}  // namespace

TagOutcome replaceWithTaggedCopy(HANDLE photo, LPCWSTR photoPath, const PhotoApp1& app1,
                                 const TaggedCopy& copy) {
  // Only a new file. One already there was left by a rewrite cut short (the
  // name is never a photo's), and goes; one that cannot be removed, or is
  // held open, is not written over, and the second try says why.
  HANDLE temp = CreateFileW(kTempPhotoPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  if (temp == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
    removeLeftoverTaggingCopy();
    temp = CreateFileW(kTempPhotoPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  }
  if (temp == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    bool inUse = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                 error == ERROR_SHARING_VIOLATION;
    CloseHandle(photo);
    return inUse ? TagOutcome::TempInUse : TagOutcome::WriteFailed;
  }
  uint8_t length[2];
  writeBe16(length, copy.payloadSize + 2);
  const uint64_t rest = app1.fileSize - app1.end();
  bool ok = copyBytes(photo, 0, app1.lengthField, temp) && writeAll(temp, length, 2) &&
            writeAll(temp, copy.payload, copy.payloadSize) && copyRest(photo, app1.end(), rest, temp);
  if (ok) {
    // Nothing more may follow: a photo that grew while it was copied is not
    // the photo that was read.
    DWORD extra = 0;
    ok = ReadFile(photo, copyBuffer, 1, &extra, nullptr) && extra == 0;
  }
  // The copy stays the user's photo: its permission bits, owner and group.
  ok = ok && CopyFileOwnership(photo, temp) && isWholeTaggedCopy(temp, app1, copy) && FlushFileBuffers(temp);
  CloseHandle(photo);
  ok = CloseHandle(temp) && ok;
  if (!ok) {
    DeleteFileW(kTempPhotoPath);
    return TagOutcome::WriteFailed;
  }
  if (!MoveFileExW(kTempPhotoPath, photoPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    // A failed flush of the folder comes after the rename, and the photo is
    // then the whole tagged copy already. Anything else (a card pulled in the
    // middle, so that the rename finds no copy to move) is a failure: only a
    // photo that reads back as its tagged copy counts as tagged. A copy that
    // cannot be removed now is removed when the card is next seen.
    if (photoIsTaggedCopy(photoPath, app1, copy)) return TagOutcome::Tagged;
    DeleteFileW(kTempPhotoPath);
    return TagOutcome::WriteFailed;
  }
  return TagOutcome::Tagged;
}
