// The module's own path, as the program was started: the name of a link or a
// copy is what selects the role, so nothing may resolve it away.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/kernel/files.h"
#include "platform/kernel/module_path.h"
#include "platform/user/resources.h"
#include "platform/core/wide_text.h"
#include "tests/support/device_image_fixture.h"
#include "platform/core/errors.h"

namespace {

class ModulePathTest : public DeviceImageTest {
 protected:
  std::string makeFile(const std::string& relative, mode_t mode) {
    std::string p = image->path(relative);
    EXPECT_TRUE(writeWholeFile(p, "#!/bin/sh\n"));
    EXPECT_EQ(0, chmod(p.c_str(), mode));
    return p;
  }
};

TEST_F(ModulePathTest, ARelativeOrAbsoluteStartKeepsItsNameAndLinksAreNotFollowed) {
  const std::string cwd = image->root();
  EXPECT_EQ("/opt/vt/install-vellumtrace", modulePathFor("/opt/vt/install-vellumtrace", "", cwd));
  EXPECT_EQ(cwd + "/bin/install-vellumtrace", modulePathFor("bin/install-vellumtrace", "", cwd));
  EXPECT_EQ(cwd + "/REMOVE-x.exe", modulePathFor("./REMOVE-x.exe", "", cwd));
  EXPECT_EQ("/REMOVE-x.exe", modulePathFor("./REMOVE-x.exe", "", "/"));

  std::string target = makeFile("vellumtrace", 0755);
  ASSERT_EQ(0, mkdir(image->path("bin").c_str(), 0777));
  ASSERT_EQ(0, symlink(target.c_str(), image->path("bin/install-vellumtrace").c_str()));
  EXPECT_EQ(image->path("bin/install-vellumtrace"),
            modulePathFor("install-vellumtrace", (image->path("nowhere") + ":" + image->path("bin")).c_str(), cwd));
}

TEST_F(ModulePathTest, ABareNameIsLookedUpThroughPathAsTheShellDoes) {
  ASSERT_EQ(0, mkdir(image->path("a").c_str(), 0777));
  ASSERT_EQ(0, mkdir(image->path("b").c_str(), 0777));
  ASSERT_EQ(0, mkdir(image->path("a/vt").c_str(), 0777));  // a folder of that name is skipped
  makeFile("b/vt", 0644);                                   // so is a file that cannot run
  std::string found = makeFile("ResidentFlash/vt", 0755);
  std::string path = image->path("a") + ":" + image->path("b") + "::" + image->path("ResidentFlash");
  EXPECT_EQ(found, modulePathFor("vt", path.c_str(), "/"));
  // An empty entry is the working folder.
  makeFile("vt", 0755);
  EXPECT_EQ(image->path("vt"), modulePathFor("vt", path.c_str(), image->root()));
  EXPECT_EQ("", modulePathFor("nothing-by-this-name", path.c_str(), "/"));
}

TEST_F(ModulePathTest, GetModuleFileNameWCutsALongPathToTheBufferAndSaysSo) {
  recordModulePath("/opt/vt/install-vellumtrace");
  WCHAR buf[260];
  EXPECT_EQ(27u, GetModuleFileNameW(nullptr, buf, 260));
  EXPECT_EQ("/opt/vt/install-vellumtrace", utf8FromUtf16(buf));
  WCHAR small[8];
  EXPECT_EQ(8u, GetModuleFileNameW(nullptr, small, 8));
  EXPECT_EQ(ERROR_INSUFFICIENT_BUFFER, GetLastError());
  EXPECT_EQ("/opt/vt", utf8FromUtf16(small));
  recordModulePath("");
}

}  // namespace
