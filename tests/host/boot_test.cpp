// --boot: what the device does at power-on with the registry's Launch values.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/control_client.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/program_process.h"

using namespace std::chrono_literals;

namespace {

class BootEndToEnd : public DeviceImageTest {};

TEST_F(BootEndToEnd, AnInstalledCopyStartsAtBootAndEndsWithIt) {
  std::string dir = image->path("kit");
  ASSERT_EQ(0, mkdir(dir.c_str(), 0777));
  ASSERT_EQ(0, symlink(VT_PROGRAM, (dir + "/install-vellumtrace").c_str()));
  {
    ProgramProcess install(dir + "/install-vellumtrace", {"--root", image->root()});
    ASSERT_EQ(0, install.waitForExit(10s));
  }
  // Entries this host cannot start are reported and skipped, and so are
  // programs outside the device image; the rest start in the order of their
  // numbers.
  std::string reg = readWholeFile(image->path("registry.reg"));
  reg += "\"Launch20\"=\"explorer.exe\"\n\"Launch\"=\"nothing.exe\"\n"
         "\"Launch30\"=\"/bin/true\"\n\"Launch40\"=\"\\\\ResidentFlash\\\\true\"\n";
  ASSERT_EQ(0, symlink("/bin/true", image->path("ResidentFlash/true").c_str()));
  ASSERT_TRUE(writeWholeFile(image->path("registry.reg"), reg));

  std::string sock = image->path("control.sock");
  ProgramProcess boot(VT_PROGRAM, {"--root", image->root(), "--boot", "--control", sock});
  ASSERT_TRUE(boot.waitForOutLine("boot\tLaunch500\t\\ResidentFlash\\vellumtrace\\vellumtrace.exe", 5s));
  ASSERT_TRUE(waitForControl(sock, 5s));
  // Up once its worker, started after the main window is hidden, has found
  // no receiver.
  ASSERT_TRUE(boot.waitForOutLine("msgbox\tError\tUnable to configure the serial port", 5s));
  EXPECT_EQ("hidden", controlCommand(sock, "window"));
  // The boot's own lines; the booted copy says on standard error why it
  // has no receiver.
  std::vector<std::string> err;
  for (const std::string& line : boot.errLines())
    if (line.find("Com1:") == std::string::npos) err.push_back(line);
  ASSERT_EQ(3u, err.size());
  EXPECT_NE(std::string::npos, err[0].find("Launch20")) << err[0];
  EXPECT_NE(std::string::npos, err[1].find("Launch30")) << err[1];
  EXPECT_NE(std::string::npos, err[2].find("Launch40")) << err[2];

  boot.signal(SIGTERM);
  EXPECT_NE(-1, boot.waitForExit(5s));
  EXPECT_FALSE(fileExists(sock)) << "the booted copy closed";
}

}  // namespace
