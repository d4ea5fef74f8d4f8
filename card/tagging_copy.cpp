#include "card/tagging_copy.h"

#include "platform/core/errors.h"
#include "platform/kernel/files.h"

bool removeLeftoverTaggingCopy() {
  if (DeleteFileW(kTaggingCopyPath)) return true;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
