// The Debian packages as cpack makes them from this build, checked by the
// tools a distribution would use: dpkg-deb for what each holds and needs,
// lintian for the packaging, systemd-analyze for the service's unit. One
// cpack run serves every check, so they are one test (ctest -L package).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/device_image_fixture.h"

namespace {

bool have(const char* tool) {
  return system((std::string("command -v ") + tool + " >/dev/null").c_str()) == 0;
}

std::string runAll(const std::string& command) {
  return commandOutput(command + " 2>&1; echo \"exit $?\"");
}

void checkContentsAndDependencies(const std::string& main, const std::string& sdl) {
  const std::string contents = commandOutput("dpkg-deb -c " + main);
  for (const char* file :
       {"bin/vellumtrace", "bin/vellumtrace-tool", "share/man/man1/vellumtrace.1.gz",
        "lib/systemd/system/vellumtrace.service", "lib/sysusers.d/vellumtrace.conf",
        "share/doc/vellumtrace/copyright", "share/doc/vellumtrace/changelog.gz"})
    EXPECT_NE(contents.find(std::string("./usr/") + file + "\n"), std::string::npos) << file << "\n"
                                                                                     << contents;
  EXPECT_EQ(contents.find(".so"), std::string::npos) << contents;
  EXPECT_NE(commandOutput("dpkg-deb -c " + sdl)
                .find("./usr/lib/vellumtrace/vellumtrace-display-sdl.so\n"),
            std::string::npos);

  const std::string depends = commandOutput("dpkg-deb -f " + main + " Depends");
  for (const char* library :
       {"sdl", "libx", "wayland", "asound", "pulse", "libgl", "libegl", "drm"})
    EXPECT_EQ(depends.find(library), std::string::npos) << library << " in " << depends;
  EXPECT_NE(depends.find("libc6"), std::string::npos) << depends;
  const std::string sdlDepends = commandOutput("dpkg-deb -f " + sdl + " Depends");
  EXPECT_NE(sdlDepends.find("vellumtrace (= " VT_VERSION ")"), std::string::npos) << sdlDepends;
  EXPECT_NE(sdlDepends.find("libsdl2"), std::string::npos) << sdlDepends;
  // The packaged unit starts the packaged program.
  EXPECT_NE(commandOutput("dpkg-deb --fsys-tarfile " + main +
                          " | tar -xOf - ./usr/lib/systemd/system/vellumtrace.service")
                .find("ExecStart=/usr/bin/vellumtrace "),
            std::string::npos);
}

void checkLintian(const std::string& main, const std::string& sdl) {
  // Every line but the informational tags, and lintian's status, which is
  // not 0 on any error or warning. Running as root (CI), it wants to be told
  // that is fine.
  EXPECT_EQ(commandOutput("out=$(lintian --allow-root --fail-on error,warning " + main + " " + sdl +
                          " 2>&1); status=$?; printf '%s\\n' \"$out\" | grep -v -e '^I: ' -e '^$'; "
                          "echo \"lintian $status\""),
            "lintian 0\n");
}

void checkUnit(const std::string& dir, const std::string& main) {
  // The package unpacked beside the test; its unit, pointed at the program
  // and the manual page unpacked with it, is verified as systemd reads it.
  const std::string root = dir + "/root";
  ASSERT_EQ(runAll("dpkg-deb -x " + main + " " + root), "exit 0\n");
  const std::string unit = dir + "/vellumtrace.service";
  ASSERT_EQ(runAll("sed 's|=/usr/bin/vellumtrace |=" + root + "/usr/bin/vellumtrace |' " + root +
                   "/usr/lib/systemd/system/vellumtrace.service > " + unit),
            "exit 0\n");
  EXPECT_EQ(runAll("MANPATH=" + root + "/usr/share/man: systemd-analyze verify " + unit),
            "exit 0\n");

  const std::string security =
      commandOutput("systemd-analyze security --offline=true " + unit + " 2>&1");
  const std::string overall = "Overall exposure level for vellumtrace.service: ";
  const size_t at = security.find(overall);
  ASSERT_NE(at, std::string::npos) << security;
  const double exposure = atof(security.c_str() + at + overall.size());
  EXPECT_GT(exposure, 0.0) << security;
  EXPECT_LE(exposure, 3.0) << security;
}

TEST(DebianPackage, BuildsBothPackagesCleanAndTheUnitHardened) {
  if (!have("dpkg-deb")) GTEST_SKIP() << "dpkg-deb is not installed: no package was made";
  const std::string dir = makeTempDir("vt-package");
  ASSERT_EQ(runAll(std::string(VT_CPACK) +
                   " -G DEB --config " VT_BUILD_DIR "/CPackConfig.cmake -B " + dir + " >/dev/null"),
            "exit 0\n");
  const std::string arch = commandOutput("dpkg --print-architecture | tr -d '\\n'");
  const std::string main = dir + "/vellumtrace_" VT_VERSION "_" + arch + ".deb";
  const std::string sdl = dir + "/vellumtrace-display-sdl_" VT_VERSION "_" + arch + ".deb";
  ASSERT_TRUE(fileExists(main) && fileExists(sdl)) << commandOutput("ls " + dir);
  {
    SCOPED_TRACE("contents and dependencies");
    checkContentsAndDependencies(main, sdl);
  }
  std::string missing;
  if (have("lintian")) {
    SCOPED_TRACE("lintian");
    checkLintian(main, sdl);
  } else {
    missing += " lintian (scripts/install-deps installs it)";
  }
  if (have("systemd-analyze")) {
    SCOPED_TRACE("the unit");
    checkUnit(dir, main);
  } else {
    missing += " systemd-analyze";
  }
  removeTree(dir);
  if (!missing.empty()) GTEST_SKIP() << "not checked, tools not installed:" << missing;
}

}  // namespace
