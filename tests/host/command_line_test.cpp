// Both programs' command lines, as a shell user meets them: --version and
// --help answer on standard output with 0, a word neither knows is named in
// the error with 2, and neither invents a device image where none is named.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <vector>

#include "platform/kernel/device_image.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/program_process.h"

namespace {

TEST(CommandLineEndToEnd, VersionAndHelpGoToStandardOutput) {
  for (const char* program : {VT_PROGRAM, VT_TOOL}) {
    ToolRun v = runProgram(program, {"--version"});
    EXPECT_EQ(v.status, 0);
    EXPECT_TRUE(std::regex_match(v.out, std::regex("vellumtrace(-tool)? [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << v.out;
  }
  const std::vector<std::pair<const char*, std::vector<std::string>>> helps = {
      {VT_PROGRAM, {"--help"}}, {VT_TOOL, {"--help"}},         {VT_TOOL, {"help"}},
      {VT_TOOL, {"tag", "--help"}}, {VT_TOOL, {"card", "-h"}},
  };
  for (const auto& [program, args] : helps) {
    ToolRun h = runProgram(program, args);
    EXPECT_EQ(h.status, 0) << args.back();
    EXPECT_EQ(h.out.rfind("usage: ", 0), 0u) << h.out;
    EXPECT_EQ(h.err, "");
  }
}

TEST(CommandLineEndToEnd, UnknownWordsAreNamedAndExitWithTwo) {
  TempDeviceImage image;
  struct Case {
    const char* program;
    std::vector<std::string> args;
    std::string named;
  } cases[] = {
      {VT_PROGRAM, {"--frobnicate"}, "'--frobnicate'"},
      {VT_PROGRAM, {"--boot=yes"}, "'--boot' takes no value"},
      {VT_TOOL, {"frobnicate"}, "unknown command 'frobnicate'"},
      {VT_TOOL, {"--frobnicate"}, "unknown option '--frobnicate'"},
      // A dash word is an option the command does not know, never a photo.
      {VT_TOOL, {"tag", "--root", image.root(), "-n", "IMG.JPG"}, "unknown option -n"},
      {VT_TOOL, {"tag", "--root=" + image.root(), "--frobnicate"}, "unknown option --frobnicate"},
      {VT_TOOL, {"card", "--root", image.root(), "stray"}, "unknown argument stray"},
      // An empty image is no image, not the default one.
      {VT_PROGRAM, {"--root="}, "missing value for '--root'"},
      {VT_TOOL, {"tag", "--root="}, "--root needs a value"},
      {VT_TOOL, {"card", "--root", ""}, "--root needs a value"},
  };
  for (const Case& c : cases) {
    ToolRun r = runProgram(c.program, c.args);
    EXPECT_EQ(r.status, 2) << c.named;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("usage: "), std::string::npos) << r.err;
  }
}

TEST(CommandLineEndToEnd, TheToolNeverMakesADeviceImage) {
  TempDeviceImage image;
  // --root=DIR is --root DIR.
  ToolRun ok = runProgram(VT_TOOL, {"tag", "--root=" + image.root()});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, "Обработано фотографий: 0 из 0 фотографий.\n");

  const std::string typo = image.root() + "/no-such-image";
  for (const char* command : {"tag", "card"}) {
    ToolRun r = runProgram(VT_TOOL, {command, "--root", typo});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(typo + " is not a device image"), std::string::npos) << r.err;
    EXPECT_FALSE(fileExists(typo));
  }
}

TEST(CommandLineEndToEnd, WithNoHomeBothProgramsSaySoAndStop) {
  ProgramOptions homeless{"", {"HOME=", "XDG_DATA_HOME=", "VELLUMTRACE_ROOT="}};
  ToolRun program = runProgram(VT_PROGRAM, {}, homeless);
  ToolRun tool = runProgram(VT_TOOL, {"tag"}, homeless);
  for (const ToolRun& r : {program, tool}) {
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no device image: neither VELLUMTRACE_ROOT, XDG_DATA_HOME nor HOME is set"),
              std::string::npos)
        << r.err;
  }
}

// The default image follows the user's data folder.
TEST(DefaultDeviceRoot, FollowsTheDataHomeThenTheHome) {
  struct Case {
    const char *root, *data, *home, *expected;
  } cases[] = {
      {"/img", "/data", "/home/u", "/img"},
      {nullptr, "/data", "/home/u", "/data/vellumtrace/device"},
      {nullptr, "relative", "/home/u", "/home/u/.local/share/vellumtrace/device"},
      {nullptr, nullptr, "/home/u", "/home/u/.local/share/vellumtrace/device"},
      {nullptr, nullptr, nullptr, ""},
  };
  auto put = [](const char* name, const char* value) {
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  };
  const char* names[] = {"VELLUMTRACE_ROOT", "XDG_DATA_HOME", "HOME"};
  std::vector<std::pair<bool, std::string>> saved;
  for (const char* n : names) saved.emplace_back(getenv(n) != nullptr, getenv(n) ? getenv(n) : "");
  for (const Case& c : cases) {
    put("VELLUMTRACE_ROOT", c.root);
    put("XDG_DATA_HOME", c.data);
    put("HOME", c.home);
    EXPECT_EQ(defaultDeviceRoot(), c.expected);
  }
  for (int i = 0; i < 3; ++i) put(names[i], saved[i].first ? saved[i].second.c_str() : nullptr);
}

}  // namespace
