// The role chosen by the executable's path.
#include <gtest/gtest.h>

#include "app/run_mode.h"

namespace {

TEST(RunModeTest, TheFileNameAndItsFoldersChooseTheRole) {
  struct Case {
    const char16_t* path;
    RunMode mode;
  } const cases[] = {
      {u"\\SDMMC\\install-app.exe", RunMode::Install},
      {u"\\SDMMC\\Install-x.exe", RunMode::Install},
      {u"\\SDMMC\\INSTALL-x.exe", RunMode::Install},
      {u"\\SDMMC\\REMOVE-x.exe", RunMode::Remove},
      {u"\\SDMMC\\Remove-x.exe", RunMode::Remove},
      {u"\\SDMMC\\remove-x.exe", RunMode::Remove},
      // Only the first letter's case is free.
      {u"\\SDMMC\\InStall-x.exe", RunMode::Normal},
      {u"\\SDMMC\\ReMove-x.exe", RunMode::Normal},
      {u"\\SDMMC\\install.exe", RunMode::Normal},
      {u"\\ResidentFlash\\vellumtrace\\vellumtrace.exe", RunMode::Normal},
      {u"", RunMode::Normal},
      // The whole path counts, and install wins over remove wherever each is.
      {u"/home/a/install-kit/vellumtrace", RunMode::Install},
      {u"/home/a/remove-kit/vellumtrace", RunMode::Remove},
      {u"/tmp/remove-x/install-x.exe", RunMode::Install},
      {u"/tmp/remove-install-x.exe", RunMode::Install},
      {u"/tmp/reinstall-x.exe", RunMode::Install},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path)));
    EXPECT_EQ(c.mode, runModeOf(c.path));
  }
}

}  // namespace
