// The registry against a real registry.reg in a temporary device image: the
// text a person or an image build reads, the bytes the program gets back,
// and a file that is damaged or cannot be written.
#include <gtest/gtest.h>

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include <string>
#include <vector>

#include "platform/kernel/device_image.h"
#include "platform/core/host_calls.h"
#include "platform/registry/registry.h"
#include "platform/registry/registry_file.h"
#include "tests/support/device_image_fixture.h"

namespace {

const char16_t kExe[] = u"\\ResidentFlash\\vellumtrace\\vellumtrace.exe";

class RegistryTest : public DeviceImageTest {
 protected:
  std::string regPath() { return image->path("registry.reg"); }

  HKEY openInit() {
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"init", 0, KEY_ALL_ACCESS, &key));
    return key;
  }

  std::vector<BYTE> query(HKEY key, LPCWSTR name, DWORD* type, LONG* result) {
    std::vector<BYTE> data(512);
    DWORD bytes = static_cast<DWORD>(data.size());
    *result = RegQueryValueExW(key, name, nullptr, type, data.data(), &bytes);
    data.resize(*result == ERROR_SUCCESS ? bytes : 0);
    return data;
  }

  std::vector<std::string> leftoverTemps() {
    std::vector<std::string> names;
    DIR* d = opendir(image->root().c_str());
    while (dirent* e = readdir(d))
      if (std::string(e->d_name).find(".tmp") != std::string::npos) names.push_back(e->d_name);
    closedir(d);
    return names;
  }
};

TEST_F(RegistryTest, TheBootEntryIsWrittenAsAnImageBuildWritesItAndReadsBackByteForByte) {
  HKEY key = openInit();
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Launch500", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(kExe), sizeof kExe));
  std::string text = readWholeFile(regPath());
  EXPECT_NE(std::string::npos, text.find("[HKEY_LOCAL_MACHINE\\init]\n"
                                         "\"Launch500\"=\"\\\\ResidentFlash\\\\vellumtrace\\\\vellumtrace.exe\"\n"))
      << text;

  DWORD type = 0;
  LONG r;
  std::vector<BYTE> back = query(key, u"launch500", &type, &r);  // names ignore case
  ASSERT_EQ(ERROR_SUCCESS, r);
  EXPECT_EQ(REG_SZ, type);
  EXPECT_EQ(std::vector<BYTE>(reinterpret_cast<const BYTE*>(kExe),
                              reinterpret_cast<const BYTE*>(kExe) + sizeof kExe),
            back);

  // A buffer too small is told the size needed.
  DWORD small = 10;
  BYTE buf[10];
  EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(key, u"Launch500", nullptr, nullptr, buf, &small));
  EXPECT_EQ(sizeof kExe, small);

  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"Launch500"));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegDeleteValueW(key, u"Launch500"));
  query(key, u"Launch500", &type, &r);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, r);
  EXPECT_NE(std::string::npos, readWholeFile(regPath()).find("[HKEY_LOCAL_MACHINE\\init]"));
  EXPECT_EQ(ERROR_SUCCESS, RegCloseKey(key));
  EXPECT_EQ(ERROR_INVALID_HANDLE, RegCloseKey(key));
  EXPECT_TRUE(leftoverTemps().empty());
}

TEST_F(RegistryTest, AnImageBuiltFileIsReadAndWhatTheProgramDoesNotTouchIsKept) {
  ASSERT_TRUE(writeWholeFile(regPath(),
                             "\xEF\xBB\xBFREGEDIT4\r\n"
                             "; shell\r\n"
                             "[HKEY_LOCAL_MACHINE\\init]\r\n"
                             "\"Launch50\"=\"explorer.exe\"\r\n"
                             "\"Depend50\"=hex:14,00,\\\r\n"
                             "   1e,00\r\n"
                             "[HKEY_LOCAL_MACHINE\\Drivers\\BuiltIn\\Serial]\r\n"
                             "\"Index\"=dword:00000001\r\n"
                             "@=\"Порт \\\"A\\\"\"\r\n"));
  HKEY key = openInit();
  DWORD type = 0;
  LONG r;
  EXPECT_EQ((std::vector<BYTE>{0x14, 0, 0x1e, 0}), query(key, u"Depend50", &type, &r));
  EXPECT_EQ(REG_BINARY, type);
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Launch500", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(kExe), sizeof kExe));
  RegCloseKey(key);

  HKEY serial = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"drivers\\builtin\\SERIAL", 0,
                                         KEY_ALL_ACCESS, &serial));
  EXPECT_EQ((std::vector<BYTE>{1, 0, 0, 0}), query(serial, u"Index", &type, &r));
  EXPECT_EQ(REG_DWORD, type);
  std::u16string expected = u"Порт \"A\"";
  std::vector<BYTE> def = query(serial, nullptr, &type, &r);
  ASSERT_EQ((expected.size() + 1) * 2, def.size());
  EXPECT_EQ(0, memcmp(def.data(), expected.c_str(), def.size()));
  RegCloseKey(serial);

  // A parent of a listed key exists too; a key nobody listed does not.
  HKEY drivers = nullptr;
  EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Drivers", 0, KEY_READ, &drivers));
  RegCloseKey(drivers);
  HKEY none = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"init\\x", 0, KEY_READ, &none));
  EXPECT_EQ(nullptr, none);

  std::string text = readWholeFile(regPath());
  EXPECT_NE(std::string::npos, text.find("\"Launch50\"=\"explorer.exe\"\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\"Depend50\"=hex:14,00,1e,00\n")) << text;
  EXPECT_NE(std::string::npos, text.find("\"Index\"=dword:00000001\n")) << text;
}

TEST_F(RegistryTest, AStringTheTextFormCannotHoldSurvivesAsHexAndValuesEnumerateInOrder) {
  HKEY key = openInit();
  const char16_t twoLines[] = u"a\nb";                      // a line break
  const BYTE noNul[] = {'x', 0, 'y', 0};                      // no terminating NUL
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Launch60", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(twoLines), 8));
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Launch40", 0, REG_SZ, noNul, 4));
  DWORD type;
  LONG r;
  EXPECT_EQ(std::vector<BYTE>(reinterpret_cast<const BYTE*>(twoLines),
                              reinterpret_cast<const BYTE*>(twoLines) + 8),
            query(key, u"Launch60", &type, &r));
  EXPECT_EQ(std::vector<BYTE>(noNul, noNul + 4), query(key, u"Launch40", &type, &r));
  EXPECT_EQ(REG_SZ, type);

  WCHAR name[32];
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    DWORD chars = 32;
    LONG e = RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (e == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(ERROR_SUCCESS, e);
    names.emplace_back(name, chars);
  }
  EXPECT_EQ((std::vector<std::u16string>{u"Launch60", u"Launch40"}), names);
  RegCloseKey(key);
}

int gRegistryOpens = 0;

TEST_F(RegistryTest, AnEnumerationReadsTheFileOnceAndAFreshOneSeesChanges) {
  std::string text = "[HKEY_LOCAL_MACHINE\\init]\n";
  for (int i = 0; i < 200; ++i) text += "\"Launch" + std::to_string(i) + "\"=\"p.exe\"\n";
  // A key and a value named again: the later value replaces the earlier one.
  text += "[HKEY_LOCAL_MACHINE\\Software]\n[HKEY_LOCAL_MACHINE\\INIT]\n\"LAUNCH7\"=\"q\"\n";
  ASSERT_TRUE(writeWholeFile(regPath(), text));
  HKEY key = openInit();
  DWORD type = 0;
  LONG found = 0;
  EXPECT_EQ((std::vector<BYTE>{'q', 0, 0, 0}), query(key, u"Launch7", &type, &found));
  auto enumerate = [key] {
    DWORD listed = 0;
    WCHAR name[32];
    for (DWORD chars = 32; RegEnumValueW(key, listed, name, &chars, nullptr, nullptr, nullptr,
                                         nullptr) == ERROR_SUCCESS;
         chars = 32)
      ++listed;
    return listed;
  };
  HostCallsOverride calls;
  calls->open = [](const char* path, int flags, mode_t mode) {
    gRegistryOpens += std::string(path).find("registry.reg") != std::string::npos;
    return realHostCalls().open(path, flags, mode);
  };
  EXPECT_EQ(200u, enumerate());
  EXPECT_EQ(1, gRegistryOpens) << "the file is read once per enumeration, not once per value";
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteValueW(key, u"Launch7"));
  EXPECT_EQ(199u, enumerate());
  RegCloseKey(key);
}

TEST_F(RegistryTest, WithoutTheInitKeyOpeningFailsAndNothingIsCreated) {
  const std::string text = "[HKEY_LOCAL_MACHINE\\Software]\n\"x\"=\"1\"\n";
  ASSERT_TRUE(writeWholeFile(regPath(), text));
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"init", 0, KEY_ALL_ACCESS, &key));
  EXPECT_EQ(nullptr, key);
  EXPECT_EQ(text, readWholeFile(regPath()));
}

TEST_F(RegistryTest, ADamagedFileIsReportedReadAsEmptyAndNeverOverwritten) {
  const std::string damaged[] = {
      "[HKEY_LOCAL_MACHINE\\init]\n\"Launch500\"=\"\\ResidentFlash\"\n",  // a lone backslash
      "[HKEY_LOCAL_MACHINE\\init]\n\"Launch500\"=\"unterminated\n",
      "\"Launch500\"=\"x\"\n[HKEY_LOCAL_MACHINE\\init]\n",  // a value before any key
      "[HKEY_LOCAL_MACHINE\\init\n",
      "[HKEY_NOWHERE\\init]\n",
      "[HKEY_LOCAL_MACHINE\\init]\n\"a\"=dword:123456789\n",
      "[HKEY_LOCAL_MACHINE\\init]\n\"a\"=hex:1,2\n",
      "[HKEY_LOCAL_MACHINE\\init]\n\"a\" \"b\"\n",
      "[HKEY_LOCAL_MACHINE\\init]\ngarbage\n",
      std::string("\x00\x01\xff\xfe", 4),
  };
  int n = 0;
  for (const std::string& bytes : damaged) {
    SCOPED_TRACE(bytes);
    // A fresh path each time: the report comes once for each file.
    std::string root = image->path("img" + std::to_string(n++));
    ASSERT_EQ(0, mkdir(root.c_str(), 0777));
    setDeviceRoot(root);
    ASSERT_TRUE(writeWholeFile(root + "/registry.reg", bytes));
    testing::internal::CaptureStderr();
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND,
              RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"init", 0, KEY_ALL_ACCESS, &key));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, err.find(root + "/registry.reg")) << err;
    EXPECT_EQ(1, std::count(err.begin(), err.end(), '\n')) << err;
    // Writing through a root key is refused rather than replacing what a
    // person may still repair.
    EXPECT_EQ(ERROR_BADDB, RegSetValueExW(HKEY_LOCAL_MACHINE, u"x", 0, REG_DWORD,
                                          reinterpret_cast<const BYTE*>("\1\0\0\0"), 4));
    EXPECT_EQ(bytes, readWholeFile(root + "/registry.reg"));
  }
  setDeviceRoot(image->root());
}

TEST_F(RegistryTest, AFailedWriteLeavesTheOldFileWholeAndNoTemporaryBehind) {
  HKEY key = openInit();
  ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Launch500", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(kExe), sizeof kExe));
  std::string before = readWholeFile(regPath());
  {
    HostCallsOverride o;
    o->write = [](int fd, const void* buf, size_t n) -> ssize_t {
      // Half of the first chunk goes out, then the disk is full.
      static bool once = false;
      if (!once) {
        once = true;
        return realHostCalls().write(fd, buf, n / 2);
      }
      errno = ENOSPC;
      return -1;
    };
    EXPECT_EQ(static_cast<LONG>(ERROR_DISK_FULL), RegDeleteValueW(key, u"Launch500"));
  }
  EXPECT_EQ(before, readWholeFile(regPath()));
  EXPECT_TRUE(leftoverTemps().empty());
  {
    HostCallsOverride o;
    o->rename = [](const char*, const char*) {
      errno = EIO;
      return -1;
    };
    EXPECT_NE(ERROR_SUCCESS, RegDeleteValueW(key, u"Launch500"));
  }
  EXPECT_EQ(before, readWholeFile(regPath()));
  EXPECT_TRUE(leftoverTemps().empty());
  RegCloseKey(key);
}

TEST_F(RegistryTest, ANewImageGetsARegistryFileHoldingTheInitKeyAndAnExistingOneIsKept) {
  ASSERT_FALSE(fileExists(regPath()));
  ASSERT_TRUE(prepareRegistryFile());
  EXPECT_NE(std::string::npos, readWholeFile(regPath()).find("[HKEY_LOCAL_MACHINE\\init]\n"));
  ASSERT_TRUE(writeWholeFile(regPath(), "[HKEY_CURRENT_USER\\x]\n"));
  ASSERT_TRUE(prepareRegistryFile());
  EXPECT_EQ("[HKEY_CURRENT_USER\\x]\n", readWholeFile(regPath()));
}

}  // namespace
