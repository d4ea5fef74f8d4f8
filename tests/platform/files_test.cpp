// The file calls against a real device image: name mapping, share modes,
// dispositions, and host failures injected through the host-call table.
#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "platform/ce.h"
#include "platform/kernel/device_image.h"
#include "platform/core/host_calls.h"
#include "tests/support/device_image_fixture.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"

namespace {

class FilesTest : public DeviceImageTest {};

TEST_F(FilesTest, CeNamesMapIntoTheDeviceRootAndMatchCaseInsensitively) {
  ASSERT_EQ(0, mkdir(image->path("SDMMC/DCIM").c_str(), 0777));
  EXPECT_EQ(image->path("ResidentFlash/vellumtrace/010126.log"),
            hostPathFor(u"\\ResidentFlash\\vellumtrace\\010126.log"));
  EXPECT_EQ(image->path("SDMMC/DCIM"), hostPathFor(u"\\sdmmc\\dcim"));
  EXPECT_EQ(image->path("SDMMC"), hostPathFor(u"SDMMC"));
  EXPECT_EQ(image->path("Com1"), hostPathFor(u"Com1:"));
  EXPECT_EQ(image->path("DSK2"), hostPathFor(u"DSK2:"));
  EXPECT_EQ("/etc/hostname", hostPathFor(u"/etc/hostname"));
  EXPECT_EQ("", hostPathFor(u"\\ResidentFlash\\..\\..\\etc"));
  setCom1Path("/dev/ttyUSB7");
  EXPECT_EQ("/dev/ttyUSB7", hostPathFor(u"Com1:"));
  setCom1Path("");
}

TEST_F(FilesTest, AnExclusiveOpenRefusesEveryOtherOpenerUntilClosed) {
  const char16_t* name = u"\\ResidentFlash\\x.log";
  HANDLE log = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, log);
  HANDLE reader = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, reader);
  EXPECT_EQ(ERROR_SHARING_VIOLATION, GetLastError());
  EXPECT_FALSE(DeleteFileW(name));
  EXPECT_TRUE(CloseHandle(log));
  reader = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, reader);
  HANDLE second = CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, second);
  HANDLE writer = CreateFileW(name, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
  CloseHandle(second);
  CloseHandle(reader);
  EXPECT_FALSE(CloseHandle(reader));
}

TEST_F(FilesTest, ARefusedCreateAlwaysLeavesTheOtherOpenersDataAlone) {
  const char16_t* name = u"\\ResidentFlash\\keep.bin";
  HANDLE h = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  CloseHandle(h);
  EXPECT_EQ("abc", readWholeFile(image->path("ResidentFlash/keep.bin")));
}

TEST_F(FilesTest, DispositionsAndPointerMoves) {
  const char16_t* name = u"\\ResidentFlash\\d.bin";
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(name, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
  HANDLE h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  EXPECT_EQ(ERROR_SUCCESS, GetLastError());
  DWORD n = 0;
  WriteFile(h, "0123456789", 10, &n, nullptr);
  EXPECT_EQ(4u, SetFilePointer(h, 4, nullptr, FILE_BEGIN));
  EXPECT_EQ(6u, SetFilePointer(h, 2, nullptr, FILE_CURRENT));
  EXPECT_EQ(10u, SetFilePointer(h, 0, nullptr, FILE_END));
  EXPECT_EQ(7u, SetFilePointer(h, -3, nullptr, FILE_END));
  char buf[8] = {};
  EXPECT_TRUE(ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(3u, n);
  EXPECT_STREQ("789", buf);
  EXPECT_TRUE(ReadFile(h, buf, 8, &n, nullptr));
  EXPECT_EQ(0u, n);
  CloseHandle(h);
  h = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
  EXPECT_EQ(10u, GetFileSize(h, nullptr));
  CloseHandle(h);
  EXPECT_FALSE(CreateDirectoryW(u"\\ResidentFlash", nullptr));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(u"\\ResidentFlash\\no\\such.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, GetLastError());
}

TEST_F(FilesTest, InjectedHostFailuresBecomeCeResults) {
  const char16_t* name = u"\\ResidentFlash\\f.bin";
  HANDLE h = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  {
    HostCallsOverride o;
    o->write = [](int, const void*, size_t) -> ssize_t { errno = ENOSPC; return -1; };
    DWORD n = 99;
    EXPECT_FALSE(WriteFile(h, "abc", 3, &n, nullptr));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(ERROR_DISK_FULL, GetLastError());
  }
  {
    // A short write, then EINTR, then the rest: WriteFile finishes the job.
    static int calls;
    calls = 0;
    HostCallsOverride o;
    o->write = [](int fd, const void* b, size_t c) -> ssize_t {
      ++calls;
      if (calls == 1) return realHostCalls().write(fd, b, 1);
      if (calls == 2) { errno = EINTR; return -1; }
      return realHostCalls().write(fd, b, c);
    };
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h, "abc", 3, &n, nullptr));
    EXPECT_EQ(3u, n);
  }
  CloseHandle(h);
  EXPECT_EQ("abc", readWholeFile(image->path("ResidentFlash/f.bin")));
}

TEST_F(FilesTest, CopyMoveDelete) {
  ASSERT_TRUE(writeWholeFile(image->path("ResidentFlash/a.exe"), "program"));
  chmod(image->path("ResidentFlash/a.exe").c_str(), 0755);
  ASSERT_TRUE(writeWholeFile(image->path("ResidentFlash/b.exe"), "old"));
  EXPECT_FALSE(CopyFileW(u"\\ResidentFlash\\a.exe", u"\\ResidentFlash\\b.exe", TRUE));
  EXPECT_TRUE(CopyFileW(u"\\ResidentFlash\\a.exe", u"\\ResidentFlash\\b.exe", FALSE));
  EXPECT_EQ("program", readWholeFile(image->path("ResidentFlash/b.exe")));
  struct stat st;
  stat(image->path("ResidentFlash/b.exe").c_str(), &st);
  EXPECT_TRUE(st.st_mode & S_IXUSR);
  EXPECT_FALSE(MoveFileW(u"\\ResidentFlash\\a.exe", u"\\ResidentFlash\\b.exe"));
  EXPECT_EQ(ERROR_ALREADY_EXISTS, GetLastError());
  EXPECT_TRUE(DeleteFileW(u"\\ResidentFlash\\b.exe"));
  EXPECT_TRUE(MoveFileW(u"\\ResidentFlash\\a.exe", u"\\ResidentFlash\\b.exe"));
  EXPECT_FALSE(fileExists(image->path("ResidentFlash/a.exe")));
  EXPECT_FALSE(DeleteFileW(u"\\ResidentFlash\\a.exe"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetLastError());
}

// The files of a host folder.
std::set<std::string> namesIn(const std::string& folder) {
  std::set<std::string> names;
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* e = readdir(d))
      if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) names.insert(e->d_name);
    closedir(d);
  }
  return names;
}

TEST_F(FilesTest, ADurableReplaceKeepsTheOldFileWholeWhicheverStepFails) {
  const std::string folder = image->path("ResidentFlash");
  const std::string target = folder + "/r.bin";
  ASSERT_TRUE(writeWholeFile(target, "old"));
  auto fill = [](int fd) { return writeAllToHostFile(fd, "new!", 4); };
  struct Step {
    const char* what;
    void (*inject)(HostCalls*);
    int err;
  } steps[] = {
      {"making the temporary",
       [](HostCalls* c) { c->open = [](const char*, int, mode_t) { errno = EACCES; return -1; }; },
       EACCES},
      {"writing",
       [](HostCalls* c) { c->write = [](int, const void*, size_t) -> ssize_t { errno = ENOSPC; return -1; }; },
       ENOSPC},
      {"flushing", [](HostCalls* c) { c->fsync = [](int) { errno = EIO; return -1; }; }, EIO},
      {"closing",
       [](HostCalls* c) { c->close = [](int fd) { realHostCalls().close(fd); errno = EIO; return -1; }; },
       EIO},
      {"renaming", [](HostCalls* c) { c->rename = [](const char*, const char*) { errno = EXDEV; return -1; }; },
       EXDEV},
  };
  for (const Step& s : steps) {
    HostCallsOverride o;
    s.inject(&hostCalls());
    EXPECT_EQ(s.err, replaceFileDurably(target, ".t-", 0640, fill)) << s.what;
  }
  EXPECT_EQ(ENOMSG, replaceFileDurably(target, ".t-", 0640, [](int) { return ENOMSG; }));
  EXPECT_EQ("old", readWholeFile(target));
  EXPECT_EQ(std::set<std::string>{"r.bin"}, namesIn(folder)) << "no temporary is left behind";

  EXPECT_EQ(0, replaceFileDurably(target, ".t-", 0640, fill));
  EXPECT_EQ("new!", readWholeFile(target));
  struct stat st;
  ASSERT_EQ(0, stat(target.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 0777);
  EXPECT_EQ(std::set<std::string>{"r.bin"}, namesIn(folder));
}

// The bulk copy goes from any position, across the pieces it carries at a
// time, and leaves both files after what it copied. A source cut short under
// the copy ends it at the source's new end, and says how much it copied.
TEST_F(FilesTest, TheBulkCopyCarriesExactlyTheBytesAskedForFromWhereverTheSourceStands) {
  std::string source((3u << 20) + 12345, '\0');
  for (size_t i = 0; i < source.size(); i++) source[i] = static_cast<char>(i * 7 + i / 4093);
  const std::string from = image->path("ResidentFlash/from.bin");
  FILE* f = fopen(from.c_str(), "wb");
  ASSERT_TRUE(f && fwrite(source.data(), 1, source.size(), f) == source.size());
  fclose(f);
  auto copyFrom = [&](DWORD start, DWORD bytes, DWORD* copied) {
    HANDLE in = CreateFileW(u"\\ResidentFlash\\from.bin", GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    HANDLE out = CreateFileW(u"\\ResidentFlash\\to.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             0, nullptr);
    EXPECT_TRUE(WriteFile(out, "head", 4, copied, nullptr));
    EXPECT_EQ(start, SetFilePointer(in, static_cast<LONG>(start), nullptr, FILE_BEGIN));
    BOOL ok = CopyFileBytes(in, out, bytes, copied);
    EXPECT_EQ(start + *copied, SetFilePointer(in, 0, nullptr, FILE_CURRENT));
    EXPECT_EQ(4 + *copied, SetFilePointer(out, 0, nullptr, FILE_CURRENT));
    CloseHandle(in);
    CloseHandle(out);
    return ok;
  };
  auto copyIs = [&](size_t start, size_t length) {
    std::string copy;
    FILE* g = fopen(image->path("ResidentFlash/to.bin").c_str(), "rb");
    char chunk[65536];
    for (size_t n; g && (n = fread(chunk, 1, sizeof chunk, g)) > 0;) copy.append(chunk, n);
    if (g) fclose(g);
    return copy == "head" + source.substr(start, length);
  };
  DWORD copied = 0;
  // Across four pieces, from a position inside a page.
  EXPECT_TRUE(copyFrom(4097 + 5, 0xFFFFFFFFu, &copied));
  EXPECT_EQ(source.size() - 4102, copied);
  EXPECT_TRUE(copyIs(4102, source.size()));
  // Fewer than there are, from the end of a piece.
  EXPECT_TRUE(copyFrom(1u << 20, 1000, &copied));
  EXPECT_EQ(1000u, copied);
  EXPECT_TRUE(copyIs(1u << 20, 1000));
  static std::string cut;
  cut = from;
  static int reads;
  {
    HostCallsOverride guard;
    reads = 0;
    hostCalls().read = [](int fd, void* b, size_t n) {
      ssize_t got = realHostCalls().read(fd, b, n);
      if (++reads == 1) {
        EXPECT_EQ(0, ::truncate(cut.c_str(), 8192 + 4102));
      }
      return got;
    };
    EXPECT_TRUE(copyFrom(4102, 0xFFFFFFFFu, &copied));
    EXPECT_EQ(1u << 20, copied);
    EXPECT_TRUE(copyIs(4102, 1u << 20));
  }
}

TEST(WideText, FormatsAsCeDoes) {
  WCHAR buf[1024];
  wsprintfW(buf, u"\\ResidentFlash\\vellumtrace\\%s.log", u"060326");
  EXPECT_EQ(std::u16string(u"\\ResidentFlash\\vellumtrace\\060326.log"), buf);
  wsprintfW(buf, u"%d из %d, %02X %hs%%", 7, -3, 0xA, "ok");
  EXPECT_EQ(std::u16string(u"7 из -3, 0A ok%"), buf);
  EXPECT_EQ("Обработано", utf8FromUtf16(u"Обработано"));
  EXPECT_EQ(std::u16string(u"Привет"), utf16FromUtf8("Привет"));
}

TEST(WideText, OnlyAsciiLettersFoldInUtf16AndUtf8Alike) {
  struct Case {
    std::u16string a, b;
    bool same;
  } cases[] = {
      {u"DSK2:", u"dsk2:", true},
      {u"Launch500", u"lAUNCH500", true},
      {u"@[", u"`{", false},  // 0x20 apart, but not letters
      {u"Ä", u"ä", false},    // not ASCII; in UTF-8 its last bytes are 0x20 apart too
      {u"Com1", u"Com1:", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.same, sameIgnoringAsciiCase(c.a, c.b)) << utf8FromUtf16(c.a);
    EXPECT_EQ(c.same, sameIgnoringAsciiCase(utf8FromUtf16(c.a), utf8FromUtf16(c.b)));
  }
}

}  // namespace
