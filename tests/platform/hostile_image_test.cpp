// A device image someone else shaped: FIFOs and folders where files are
// expected, links planted below the card and flash folders and at the names
// of temporaries. Nothing may block, and nothing outside the image may be
// written. A test that blocks here fails by its ctest timeout.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/ce.h"
#include "platform/core/wide_text.h"
#include "platform/kernel/device_image.h"
#include "platform/kernel/files.h"
#include "platform/registry/registry.h"
#include "tests/support/device_image_fixture.h"

namespace {

class HostileImageTest : public DeviceImageTest {
 protected:
  void SetUp() override {
    DeviceImageTest::SetUp();
    outside = makeTempDir("vt-outside");
    victim = outside + "/victim";
    ASSERT_TRUE(writeWholeFile(victim, "not the program's"));
  }
  void TearDown() override {
    EXPECT_EQ("not the program's", readWholeFile(victim)) << "a file outside the image changed";
    removeTree(outside);
    DeviceImageTest::TearDown();
  }
  void plantLink(const std::string& relative, const std::string& target) {
    ASSERT_EQ(0, symlink(target.c_str(), image->path(relative).c_str())) << relative;
  }
  bool isRegular(const std::string& relative) {
    struct stat st;
    return lstat(image->path(relative).c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  std::string outside, victim;
};

HANDLE openExisting(LPCWSTR name, DWORD access = GENERIC_READ) {
  return CreateFileW(name, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST_F(HostileImageTest, WhatIsNotAFileIsRefusedAtOnceNeverWaitedOn) {
  ASSERT_EQ(0, mkdir(image->path("SDMMC/DCIM").c_str(), 0700));
  ASSERT_EQ(0, mkfifo(image->path("SDMMC/DCIM/IMG_0001.JPG").c_str(), 0600));
  EXPECT_EQ(INVALID_HANDLE_VALUE, openExisting(u"\\SDMMC\\DCIM\\IMG_0001.JPG"));
  EXPECT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, openExisting(u"\\SDMMC\\DCIM\\IMG_0001.JPG", GENERIC_WRITE));
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(u"\\SDMMC\\DCIM\\IMG_0001.JPG", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                        OPEN_ALWAYS, 0, nullptr));

  ASSERT_EQ(0, mkfifo(image->path("DSK2").c_str(), 0600));
  EXPECT_EQ(INVALID_HANDLE_VALUE, CreateFileW(u"DSK2:", 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                              nullptr, OPEN_EXISTING, 0, nullptr));

  HKEY key = nullptr;
  for (bool folder : {false, true}) {
    unlink(image->path("registry.reg").c_str());
    rmdir(image->path("registry.reg").c_str());
    ASSERT_EQ(0, folder ? mkdir(image->path("registry.reg").c_str(), 0700)
                        : mkfifo(image->path("registry.reg").c_str(), 0600));
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"init", 0, 0, &key)) << folder;
  }
}

TEST_F(HostileImageTest, LinksBelowTheCardAndFlashFoldersAreNeverFollowed) {
  ASSERT_EQ(0, mkdir(image->path("SDMMC/DCIM").c_str(), 0700));
  ASSERT_EQ(0, mkdir(image->path("ResidentFlash/vellumtrace").c_str(), 0700));
  plantLink("SDMMC/DCIM/IMG_0002.JPG", victim);
  plantLink("SDMMC/DCIM/100CAM", outside);
  plantLink("ResidentFlash/vellumtrace/010126.log", victim);

  EXPECT_EQ(INVALID_HANDLE_VALUE,
            openExisting(u"\\SDMMC\\DCIM\\IMG_0002.JPG", GENERIC_READ | GENERIC_WRITE));
  EXPECT_EQ(ERROR_NOT_SUPPORTED, GetLastError());
  EXPECT_EQ(INVALID_HANDLE_VALUE, openExisting(u"\\SDMMC\\DCIM\\100CAM\\victim"));
  EXPECT_EQ(INVALID_HANDLE_VALUE,
            CreateFileW(u"\\ResidentFlash\\vellumtrace\\010126.log", GENERIC_READ | GENERIC_WRITE,
                        0, nullptr, OPEN_ALWAYS, 0, nullptr));
  EXPECT_FALSE(MoveFileW(u"\\SDMMC\\DCIM\\IMG_0002.JPG", u"\\SDMMC\\DCIM\\IMG_0003.JPG"));
  EXPECT_FALSE(CopyFileW(u"\\SDMMC\\DCIM\\IMG_0002.JPG", u"\\SDMMC\\DCIM\\IMG_0003.JPG", FALSE));

  // The linked folder is listed, but not as a folder, and is not searched.
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(u"SDMMC\\DCIM\\*", &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  do {
    EXPECT_FALSE(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  EXPECT_EQ(INVALID_HANDLE_VALUE, FindFirstFileW(u"SDMMC\\DCIM\\100CAM\\*", &found));

  // The card folder itself may be a link: that is how a mounted card is seen.
  ASSERT_EQ(0, rename(image->path("SDMMC").c_str(), (outside + "/card").c_str()));
  plantLink("SDMMC", outside + "/card");
  ASSERT_TRUE(writeWholeFile(outside + "/card/DCIM/IMG_0004.JPG", "jpeg"));
  HANDLE photo = openExisting(u"\\SDMMC\\DCIM\\IMG_0004.JPG");
  EXPECT_NE(INVALID_HANDLE_VALUE, photo);
  CloseHandle(photo);
}

TEST_F(HostileImageTest, ReplacementsNeverWriteThroughOrInstallAPlantedLink) {
  ASSERT_EQ(0, mkdir(image->path("ResidentFlash/vellumtrace").c_str(), 0700));
  std::string pid = std::to_string(getpid());
  // The names the temporaries had, when they could be guessed.
  plantLink("registry.reg.tmp-" + pid, victim);
  plantLink("ResidentFlash/vellumtrace/vellumtrace.exe.copy-" + pid, victim);
  // An installed program already linked to the one being installed.
  std::string program = outside + "/install-me";
  ASSERT_TRUE(writeWholeFile(program, "program"));
  plantLink("ResidentFlash/vellumtrace/vellumtrace.exe", program);

  std::u16string from = utf16FromUtf8(program);
  EXPECT_TRUE(CopyFileW(from.c_str(), u"\\ResidentFlash\\vellumtrace\\vellumtrace.exe", FALSE));
  EXPECT_TRUE(isRegular("ResidentFlash/vellumtrace/vellumtrace.exe"));
  EXPECT_EQ("program", readWholeFile(image->path("ResidentFlash/vellumtrace/vellumtrace.exe")));

  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"init", 0, 0, &key));
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, u"Launch500", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(u"x"), 4));
  RegCloseKey(key);
  EXPECT_TRUE(isRegular("registry.reg"));
}

}  // namespace
