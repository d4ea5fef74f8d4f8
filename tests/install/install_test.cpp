// The build as a user installs it: cmake --install into a folder of the
// test's own, and the Debian package cpack makes. The pieces are checked by
// the tools that will read them on a system: systemd-analyze for the unit,
// man and groff for the pages, dpkg-deb for the package.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/device_image_fixture.h"

namespace {

bool have(const char* tool) { return system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0; }

// What a command prints on both streams, and a line with its exit status.
std::string runAll(const std::string& command) { return commandOutput(command + " 2>&1; echo \"exit $?\""); }

class InstallEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { dir = makeTempDir("vt-install"); }
  void TearDown() override { removeTree(dir); }
  std::string dir;
};

const char* const kInstalled[] = {
    "bin/vellumtrace",
    "bin/vellumtrace-tool",
    "lib/vellumtrace/vellumtrace-display-sdl.so",
    "share/man/man1/vellumtrace.1.gz",
    "share/man/man1/vellumtrace-tool.1.gz",
    "lib/systemd/system/vellumtrace.service",
    "lib/sysusers.d/vellumtrace.conf",
    "share/doc/vellumtrace/examples/60-vellumtrace.rules",
    "share/doc/vellumtrace/examples/vellumtrace.service.d/local.conf",
    "share/doc/vellumtrace/copyright",
    "share/doc/vellumtrace/changelog.gz",
};

TEST_F(InstallEndToEnd, InstallsIntoAPrefixAndEachPieceReadsCleanly) {
  const std::string prefix = dir + "/usr";
  ASSERT_EQ(runAll(std::string(VT_CMAKE) + " --install " VT_BUILD_DIR " --prefix " + prefix + " >/dev/null"),
            "exit 0\n");
  for (const char* file : kInstalled) EXPECT_TRUE(fileExists(prefix + "/" + file)) << file;
  EXPECT_EQ(commandOutput(prefix + "/bin/vellumtrace-tool --version"), "vellumtrace-tool " VT_VERSION "\n");

  // The unit starts the program this install put in place.
  const std::string unit = readWholeFile(prefix + "/lib/systemd/system/vellumtrace.service");
  EXPECT_NE(unit.find("ExecStart=" + prefix + "/bin/vellumtrace --root /var/lib/vellumtrace "),
            std::string::npos)
      << unit;
  std::string missing;
  if (have("systemd-analyze")) {
    // verify also opens the man page the unit documents itself with.
    EXPECT_EQ(runAll("MANPATH=" + prefix + "/share/man: systemd-analyze verify " + prefix +
                     "/lib/systemd/system/vellumtrace.service"),
              "exit 0\n");
  } else {
    missing += " systemd-analyze (the unit)";
  }
  if (have("man") && have("groff")) {
    for (const char* page : {"vellumtrace.1.gz", "vellumtrace-tool.1.gz"}) {
      const std::string path = prefix + "/share/man/man1/" + page;
      EXPECT_EQ(runAll("zcat " + path + " | groff -man -Tutf8 -ww -z"), "exit 0\n") << page;
      EXPECT_EQ(runAll("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l " + path + " >/dev/null"), "exit 0\n")
          << page;
    }
    // Every option of the program's own --help is on its page.
    const std::string help = commandOutput(prefix + "/bin/vellumtrace --help");
    const std::string text = commandOutput("LC_ALL=C.UTF-8 MANWIDTH=200 man -l " + prefix +
                                           "/share/man/man1/vellumtrace.1.gz 2>/dev/null");
    for (size_t at = help.find("  --"); at != std::string::npos; at = help.find("  --", at + 1)) {
      const std::string option = help.substr(at + 2, help.find_first_of(" \n", at + 2) - at - 2);
      EXPECT_NE(text.find(option), std::string::npos) << option << " is not on the manual page";
    }
  } else {
    missing += " man/groff (the pages)";
  }
  if (!missing.empty()) GTEST_SKIP() << "not checked, tools not installed:" << missing;
}

}  // namespace
