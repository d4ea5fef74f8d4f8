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
    "share/man/man1/vellumtrace.1",
    "share/man/man1/vellumtrace-tool.1",
    "lib/systemd/system/vellumtrace.service",
    "share/doc/vellumtrace/examples/60-vellumtrace.rules",
    "share/doc/vellumtrace/LICENSE",
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
    for (const char* page : {"vellumtrace.1", "vellumtrace-tool.1"}) {
      const std::string path = prefix + "/share/man/man1/" + page;
      EXPECT_EQ(runAll("groff -man -Tutf8 -ww -z " + path), "exit 0\n") << page;
      EXPECT_EQ(runAll("LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l " + path + " >/dev/null"), "exit 0\n")
          << page;
    }
    // Every option of the program's own --help is on its page.
    const std::string help = commandOutput(prefix + "/bin/vellumtrace --help");
    const std::string text = commandOutput("LC_ALL=C.UTF-8 MANWIDTH=200 man -l " + prefix +
                                           "/share/man/man1/vellumtrace.1 2>/dev/null");
    for (size_t at = help.find("  --"); at != std::string::npos; at = help.find("  --", at + 1)) {
      const std::string option = help.substr(at + 2, help.find_first_of(" \n", at + 2) - at - 2);
      EXPECT_NE(text.find(option), std::string::npos) << option << " is not on the manual page";
    }
  } else {
    missing += " man/groff (the pages)";
  }
  if (!missing.empty()) GTEST_SKIP() << "not checked, tools not installed:" << missing;
}

TEST_F(InstallEndToEnd, DebianPackageHoldsTheInstall) {
  if (!have("dpkg-deb")) GTEST_SKIP() << "dpkg-deb is not installed: no package was made";
  ASSERT_EQ(runAll(std::string(VT_CPACK) + " -G DEB --config " VT_BUILD_DIR "/CPackConfig.cmake -B " + dir +
                   " >/dev/null"),
            "exit 0\n");
  const std::string deb = dir + "/vellumtrace_" VT_VERSION "_" + commandOutput("dpkg --print-architecture | tr -d '\\n'") + ".deb";
  ASSERT_TRUE(fileExists(deb)) << commandOutput("ls " + dir);
  const std::string contents = commandOutput("dpkg-deb -c " + deb);
  for (const char* file : kInstalled)
    EXPECT_NE(contents.find(std::string("./usr/") + file + "\n"), std::string::npos) << file << "\n" << contents;
  EXPECT_EQ(commandOutput("dpkg-deb -f " + deb + " Package Version"),
            "Package: vellumtrace\nVersion: " VT_VERSION "\n");
  // The packaged unit starts the packaged program.
  EXPECT_NE(commandOutput("dpkg-deb --fsys-tarfile " + deb + " | tar -xOf - ./usr/lib/systemd/system/vellumtrace.service")
                .find("ExecStart=/usr/bin/vellumtrace "),
            std::string::npos);
}

}  // namespace
