// The directory search over real folders of the device image.
#include <gtest/gtest.h>

#include <unistd.h>

#include <map>
#include <string>

#include "platform/ce.h"
#include "platform/core/wide_text.h"
#include "tests/card/card_fixtures.h"
#include "platform/kernel/find_files.h"
#include "platform/core/errors.h"
#include "platform/core/handles.h"

namespace {

class FindFilesTest : public DeviceImageTest {
 protected:
  // Every entry a search over `pattern` yields, by name, with its attributes
  // and size; the search's last error is left in `endError`.
  std::map<std::string, std::pair<DWORD, DWORD>> search(const char16_t* pattern) {
    std::map<std::string, std::pair<DWORD, DWORD>> found;
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) {
      endError = GetLastError();
      return found;
    }
    do {
      found[utf8FromUtf16(data.cFileName)] = {data.dwFileAttributes, data.nFileSizeLow};
    } while (FindNextFileW(h, &data));
    endError = GetLastError();
    EXPECT_TRUE(FindClose(h));
    return found;
  }
  DWORD endError = 0;
};

TEST_F(FindFilesTest, YieldsEachEntryOnceWithItsKindAndSizeButNeverDotEntries) {
  putCardFile(*image, "DCIM/IMG_0001.JPG", std::string(1234, 'x'));
  putCardFile(*image, "DCIM/notes.txt", "");
  putCardFolder(*image, "DCIM/100PHOTO");
  auto found = search(u"SDMMC\\DCIM\\*");
  EXPECT_EQ(ERROR_NO_MORE_FILES, endError);
  ASSERT_EQ(3u, found.size());
  EXPECT_EQ(std::make_pair(FILE_ATTRIBUTE_ARCHIVE, DWORD{1234}), found["IMG_0001.JPG"]);
  EXPECT_EQ(std::make_pair(FILE_ATTRIBUTE_ARCHIVE, DWORD{0}), found["notes.txt"]);
  EXPECT_EQ(std::make_pair(FILE_ATTRIBUTE_DIRECTORY, DWORD{0}), found["100PHOTO"]);
  // A leading backslash and another case name the same folder.
  EXPECT_EQ(3u, search(u"\\sdmmc\\dcim\\*.*").size());
}

TEST_F(FindFilesTest, PatternsMatchNamesIgnoringCase) {
  for (const char* name : {"a.JPG", "b.jpg", "c.jpeg", "d.JPG.BAK", "e1.jpg", "e22.jpg"})
    putCardFile(*image, std::string("DCIM/") + name);
  EXPECT_EQ(4u, search(u"SDMMC\\DCIM\\*.jpg").size());
  EXPECT_EQ(1u, search(u"SDMMC\\DCIM\\e?.JPG").size());
  EXPECT_EQ(1u, search(u"SDMMC\\DCIM\\*.*.*").size());
  EXPECT_EQ(1u, search(u"SDMMC\\DCIM\\B.JPG").size());
}

TEST_F(FindFilesTest, NothingToFindIsReportedAsCeDoes) {
  putCardFolder(*image, "DCIM/EMPTY");
  putCardFile(*image, "DCIM/A.JPG");
  EXPECT_TRUE(search(u"SDMMC\\DCIM\\EMPTY\\*").empty());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, endError);
  EXPECT_TRUE(search(u"SDMMC\\DCIM\\*.png").empty());
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, endError);
  EXPECT_TRUE(search(u"SDMMC\\NODCIM\\*").empty());
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, endError);
  EXPECT_TRUE(search(u"SDMMC\\DCIM\\A.JPG\\*").empty());  // a file is no folder
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, endError);
}

TEST_F(FindFilesTest, ClosedOrForeignHandlesAreRefused) {
  putCardFile(*image, "DCIM/A.JPG");
  putCardFile(*image, "DCIM/B.JPG");
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(u"SDMMC\\DCIM\\*", &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  ASSERT_TRUE(FindClose(h));
  EXPECT_FALSE(FindNextFileW(h, &data));
  EXPECT_EQ(ERROR_INVALID_HANDLE, GetLastError());
  EXPECT_FALSE(FindClose(h));
  HANDLE file = CreateFileW(u"\\SDMMC\\DCIM\\A.JPG", GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  EXPECT_FALSE(FindNextFileW(file, &data));
  EXPECT_FALSE(FindClose(file));
  EXPECT_TRUE(CloseHandle(file));
}

TEST_F(FindFilesTest, AHostErrorMidSearchEndsItWithThatError) {
  putCardFile(*image, "DCIM/A.JPG");
  putCardFile(*image, "DCIM/B.JPG");
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(u"SDMMC\\DCIM\\*", &data);
  ASSERT_NE(INVALID_HANDLE_VALUE, h);
  {
    HostCallsOverride calls;
    calls->readdir = [](DIR*) -> struct dirent* {
      errno = EIO;
      return nullptr;
    };
    EXPECT_FALSE(FindNextFileW(h, &data));
    EXPECT_EQ(ERROR_GEN_FAILURE, GetLastError());
  }
  EXPECT_TRUE(FindClose(h));
}

}  // namespace
