// Process: GetModuleFileNameW.
//
// On the host the module's path is the one the program was started as
// (recordModulePath, from argv[0] in the host entry): made absolute, found
// through $PATH when argv[0] has no slash, with symlinks left unresolved, so
// that a link or copy named install-vellumtrace selects the role the name
// says, as the file name does on the device. Without a recorded path (a test
// program) it is the executable's resolved path from /proc/self/exe. Only the
// program's own module is known; other module handles are not supported.
#include "platform/kernel/module_path.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/kernel/files.h"
#include "platform/core/host_calls.h"
#include "platform/core/wide_text.h"
#include "platform/core/errors.h"

namespace {

std::mutex gMutex;
std::u16string gModulePath;

bool isExecutableFile(const std::string& path) {
  struct stat st;
  return hostCalls().stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & 0111) != 0;
}

std::string currentFolder() {
  char buf[PATH_MAX];
  return hostCalls().getcwd(buf, sizeof buf) ? std::string(buf) : std::string("/");
}

}  // namespace

std::string modulePathFor(const char* argv0, const char* pathVariable, const std::string& cwd) {
  if (!argv0 || !*argv0) return std::string();
  std::string name = argv0;
  if (name.find('/') != std::string::npos) {
    if (name[0] == '/') return name;
    while (name.compare(0, 2, "./") == 0) name.erase(0, 2);
    return (cwd == "/" ? std::string() : cwd) + "/" + name;
  }
  // As execvp searches: each folder of $PATH in turn, an empty entry meaning
  // the working folder.
  std::string path = pathVariable ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  for (;;) {
    size_t colon = path.find(':', start);
    std::string dir = path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (dir.empty()) dir = cwd;
    if (dir[0] != '/') dir = cwd + "/" + dir;
    std::string candidate = (dir == "/" ? std::string() : dir) + "/" + name;
    if (isExecutableFile(candidate)) return candidate;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  return std::string();
}

void recordModulePath(const char* argv0) {
  std::string p = modulePathFor(argv0, getenv("PATH"), currentFolder());
  std::lock_guard<std::mutex> lock(gMutex);
  gModulePath = utf16FromUtf8(p);
}

DWORD GetModuleFileNameW(HMODULE, LPWSTR fileName, DWORD size) {
  std::u16string path;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    path = gModulePath;
  }
  if (path.empty()) {
    char buf[PATH_MAX];
    ssize_t n = hostCalls().readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n > 0) path = utf16FromUtf8(std::string_view(buf, static_cast<size_t>(n)));
  }
  if (!fileName || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (path.size() >= size) {
    // Cut to fit and terminated, as CE does, with the shortfall reported.
    memcpy(fileName, path.data(), (size - 1) * sizeof(char16_t));
    fileName[size - 1] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  memcpy(fileName, path.c_str(), (path.size() + 1) * sizeof(char16_t));
  return static_cast<DWORD>(path.size());
}
