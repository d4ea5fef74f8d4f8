// Diagnostics on standard error; see debug_output.h.
#include "platform/core/debug_output.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/core/errors.h"
#include "platform/core/wide_text.h"

namespace {

const char* systemText(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS:
      return "The operation completed successfully.";
    case ERROR_FILE_NOT_FOUND:
      return "The system cannot find the file specified.";
    case ERROR_PATH_NOT_FOUND:
      return "The system cannot find the path specified.";
    case ERROR_ACCESS_DENIED:
      return "Access is denied.";
    case ERROR_INVALID_HANDLE:
      return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "Not enough storage is available.";
    case ERROR_WRITE_FAULT:
      return "The system cannot write to the specified device.";
    case ERROR_GEN_FAILURE:
      return "A device attached to the system is not functioning.";
    case ERROR_SHARING_VIOLATION:
      return "The process cannot access the file because it is being used by another process.";
    case ERROR_NOT_SUPPORTED:
      return "The request is not supported.";
    case ERROR_DEV_NOT_EXIST:
      return "The specified network resource or device is no longer available.";
    case ERROR_DISK_FULL:
      return "There is not enough space on the disk.";
    case ERROR_INVALID_PARAMETER:
      return "The parameter is incorrect.";
    case ERROR_BUSY:
      return "The requested resource is in use.";
    default:
      return nullptr;
  }
}

}  // namespace

void OutputDebugStringW(LPCWSTR text) {
  std::string line = text ? utf8FromUtf16(text) : std::string();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  fprintf(stderr, "%s: %s\n", program_invocation_short_name, line.c_str());
}

DWORD FormatMessageW(DWORD flags, LPCVOID, DWORD messageId, DWORD, LPWSTR buffer, DWORD size,
                     void*) {
  if ((flags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || !buffer || size == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string text;
  const HostFailure* failure = lastHostFailure();
  if (failure && failure->ceError == messageId) {
    text = describeHostFailure(*failure);
  } else if (const char* known = systemText(messageId)) {
    text = known;
  } else {
    text = "Error " + std::to_string(messageId) + ".";
  }
  std::u16string wide = utf16FromUtf8(text);
  if (wide.size() >= size) wide.resize(size - 1);
  wide.copy(buffer, wide.size());
  buffer[wide.size()] = 0;
  return static_cast<DWORD>(wide.size());
}
