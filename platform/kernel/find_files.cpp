// Directory search: FindFirstFileW, FindNextFileW, FindClose.
// Backed by opendir/readdir on the host folder the pattern's folder part maps
// to; entries come in the host's directory order. The last component of the
// pattern may hold the wildcards * and ? and is matched ignoring ASCII case,
// as on the device's FAT volumes ("*.*" matches every name). As there, the
// search never yields "." or "..". Names that do not fit cFileName are passed
// over. Below the card and flash folders no link is followed: a linked
// folder is not searched, and a link is reported as a file (which the
// opener then refuses), never as a folder. Not supported: wildcards in the
// folder part, the creation and access times (both are reported as the last
// write time), object identifiers.
#include "platform/kernel/find_files.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/kernel/device_image.h"
#include "platform/core/errors.h"
#include "platform/kernel/files.h"
#include "platform/core/handles.h"
#include "platform/core/host_calls.h"
#include "platform/core/wide_text.h"

namespace {

struct FindState {
  DIR* dir = nullptr;
  std::string folder;   // host path of the searched folder
  std::string pattern;  // the name pattern, UTF-8
  bool linksRefused = false;  // its entries are not followed when they are links
};

// Wildcard match ignoring ASCII case. The classic greedy walk with one
// backtrack point keeps it linear in practice and never recursive.
bool matchesPattern(const char* name, const char* pattern) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && foldAsciiCase(*pattern) == foldAsciiCase(*name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

// 100-nanosecond intervals since 1601-01-01, from a host time.
FILETIME fileTimeFrom(const struct timespec& t) {
  constexpr uint64_t kEpochDifference = 11644473600ull;  // 1601 to 1970, in seconds
  uint64_t v = 0;
  if (t.tv_sec >= 0)
    v = (static_cast<uint64_t>(t.tv_sec) + kEpochDifference) * 10000000ull +
        static_cast<uint64_t>(t.tv_nsec) / 100;
  return FILETIME{static_cast<DWORD>(v), static_cast<DWORD>(v >> 32)};
}

void closeFind(HandleEntry& entry) {
  auto* state = static_cast<FindState*>(entry.extra);
  if (!state) return;
  if (state->dir) hostCalls().closedir(state->dir);
  delete state;
}

void registerCloser() {
  static std::once_flag once;
  std::call_once(once, [] { setHandleCloser(HandleKind::Find, closeFind); });
}

// Fills `data` from the next entry that matches; false at the end of the
// folder (ERROR_NO_MORE_FILES) or on a host error.
bool nextMatch(FindState& state, WIN32_FIND_DATAW* data) {
  for (;;) {
    errno = 0;
    struct dirent* e = hostCalls().readdir(state.dir);
    if (!e) {
      if (errno != 0)
        setLastErrorFromErrno(errno);
      else
        SetLastError(ERROR_NO_MORE_FILES);
      return false;
    }
    const char* name = e->d_name;
    if (!strcmp(name, ".") || !strcmp(name, "..")) continue;
    if (!matchesPattern(name, state.pattern.c_str())) continue;
    std::u16string wide = utf16FromUtf8(name);
    if (wide.empty() || wide.size() >= static_cast<size_t>(MAX_PATH)) continue;

    // Looked up relative to the open folder: a search of a full card is one
    // stat per entry, and the folder's path need not be walked each time.
    // A dangling link (a card pulled under a mounted folder) still shows up,
    // as an empty file.
    struct stat st;
    int folderFd = dirfd(state.dir);
    int follow = state.linksRefused ? AT_SYMLINK_NOFOLLOW : 0;
    if (hostCalls().fstatat(folderFd, name, &st, follow) != 0 &&
        hostCalls().fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
      continue;  // gone between readdir and stat

    memset(data, 0, sizeof *data);
    data->dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(st.st_mode & S_IWUSR)) data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    data->ftLastWriteTime = fileTimeFrom(st.st_mtim);
    data->ftCreationTime = data->ftLastWriteTime;
    data->ftLastAccessTime = data->ftLastWriteTime;
    if (S_ISREG(st.st_mode) && st.st_size > 0) {
      uint64_t size = static_cast<uint64_t>(st.st_size);
      data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
      data->nFileSizeLow = static_cast<DWORD>(size);
    }
    memcpy(data->cFileName, wide.data(), wide.size() * sizeof(WCHAR));
    data->cFileName[wide.size()] = 0;
    return true;
  }
}

}  // namespace

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
  registerCloser();
  if (!fileName || !findData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string name(fileName, wcslen16(fileName));
  size_t cut = name.rfind(u'\\');
  std::u16string folderPart = cut == std::u16string::npos ? u"" : name.substr(0, cut);
  std::u16string patternPart = cut == std::u16string::npos ? name : name.substr(cut + 1);
  if (patternPart.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }

  auto* state = new FindState;
  if (folderPart.empty()) {
    state->folder = deviceRoot();
  } else if (!hostPathFor(folderPart.c_str(), &state->folder)) {
    delete state;
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::u16string_view everything = u"*";
  state->pattern = utf8FromUtf16(patternPart == u"*.*" ? everything : std::u16string_view(patternPart));

  state->linksRefused = linksRefusedAt(state->folder + "/x");
  if (linksRefusedAt(state->folder) && isLink(state->folder)) {
    delete state;
    SetLastError(ERROR_PATH_NOT_FOUND);  // a linked folder below the card is not searched
    return INVALID_HANDLE_VALUE;
  }
  state->dir = hostCalls().opendir(state->folder.c_str());
  if (!state->dir) {
    int e = errno;
    delete state;
    if (e == ENOENT || e == ENOTDIR)
      SetLastError(ERROR_PATH_NOT_FOUND);
    else
      setLastErrorFromErrno(e);
    return INVALID_HANDLE_VALUE;
  }
  if (!nextMatch(*state, findData)) {
    DWORD error = GetLastError();
    hostCalls().closedir(state->dir);
    delete state;
    SetLastError(error == ERROR_NO_MORE_FILES ? ERROR_FILE_NOT_FOUND : error);
    return INVALID_HANDLE_VALUE;
  }
  HandleEntry entry;
  entry.kind = HandleKind::Find;
  entry.extra = state;
  HANDLE h = addHandle(entry);
  if (h == INVALID_HANDLE_VALUE) {
    hostCalls().closedir(state->dir);
    delete state;
  }
  return h;
}

BOOL FindNextFileW(HANDLE findFile, LPWIN32_FIND_DATAW findData) {
  HandleEntry entry;
  if (!lookupHandle(findFile, HandleKind::Find, &entry) || !entry.extra) return FALSE;
  if (!findData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return nextMatch(*static_cast<FindState*>(entry.extra), findData) ? TRUE : FALSE;
}

BOOL FindClose(HANDLE findFile) {
  HandleEntry entry;
  if (!lookupHandle(findFile, HandleKind::Find, &entry)) return FALSE;
  return closeHandleEntry(findFile);
}
