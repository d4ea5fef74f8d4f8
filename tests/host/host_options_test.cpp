// The executable's options: what each form of the command line gives, and
// the words of each refusal.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/host_options.h"

namespace {

struct Parsed {
  int result;
  HostOptions options;
  std::string error;
};

Parsed parse(std::vector<std::string> args) {
  args.insert(args.begin(), "vellumtrace");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Parsed p;
  p.result = parseHostOptions(static_cast<int>(args.size()), argv.data(), &p.options, &p.error);
  return p;
}

TEST(HostOptions, BothFormsOfAValueMeanTheSame) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"--root", "/r", "--com1", "/dev/ttyUSB0", "--display", "sdl", "--scale", "3",
            "--control", "/s", "--card-device", "/dev/sdb1", "--card-mount", "/media/card"},
           {"--root=/r", "--com1=/dev/ttyUSB0", "--display=sdl", "--scale=3", "--control=/s",
            "--card-device=/dev/sdb1", "--card-mount=/media/card"}}) {
    Parsed p = parse(args);
    ASSERT_EQ(p.result, 0) << p.error;
    EXPECT_EQ(p.options.root, "/r");
    EXPECT_EQ(p.options.com1, "/dev/ttyUSB0");
    EXPECT_EQ(p.options.display, "sdl");
    EXPECT_EQ(p.options.scale, 3);
    EXPECT_EQ(p.options.control, "/s");
    EXPECT_EQ(p.options.cardDevice, "/dev/sdb1");
    EXPECT_EQ(p.options.cardMount, "/media/card");
    EXPECT_TRUE(p.options.waitingBoxes);  // a screen someone looks at
    // --boot hands on everything but the root, which it gives itself.
    EXPECT_EQ(p.options.passOn,
              (std::vector<std::string>{"--com1", "/dev/ttyUSB0", "--display", "sdl", "--scale",
                                        "3", "--control", "/s", "--card-device", "/dev/sdb1",
                                        "--card-mount", "/media/card"}));
  }
}

TEST(HostOptions, DefaultsAndBoxModes) {
  Parsed none = parse({});
  ASSERT_EQ(none.result, 0);
  EXPECT_EQ(none.options.display, "headless");
  EXPECT_EQ(none.options.scale, 1);
  EXPECT_FALSE(none.options.waitingBoxes);
  EXPECT_FALSE(none.options.boot);
  EXPECT_TRUE(none.options.root.empty());
  EXPECT_TRUE(parse({"--msgbox", "wait"}).options.waitingBoxes);
  EXPECT_FALSE(parse({"--display", "sdl", "--msgbox", "auto"}).options.waitingBoxes);
  EXPECT_TRUE(parse({"--boot"}).options.boot);
  EXPECT_EQ(none.options.baud, 0u);  // as the program asks
  Parsed slow = parse({"--baud=4800"});
  EXPECT_EQ(slow.options.baud, 4800u);
  EXPECT_EQ(slow.options.passOn, (std::vector<std::string>{"--baud", "4800"}));
  EXPECT_TRUE(parse({"-h"}).options.help);
  EXPECT_TRUE(parse({"--help", "--nonsense"}).options.help);
}

TEST(HostOptions, EachRefusalNamesWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  } cases[] = {
      {{"--frobnicate"}, "unknown option '--frobnicate'"},
      {{"stray"}, "unknown option 'stray'"},
      {{"--root"}, "missing value for '--root'"},
      {{"--display", "fb"}, "unknown display 'fb'"},
      {{"--scale", "9"}, "the scale must be 1 to 8, not '9'"},
      {{"--scale=2x"}, "the scale must be 1 to 8, not '2x'"},
      {{"--msgbox", "later"}, "unknown message box mode 'later'"},
      {{"--baud", "4801"}, "no line speed '4801' (110, 300, 600, 1200, 2400, 4800, 9600, "
                           "19200, 38400, 57600, 115200 or 230400)"},
      {{"--baud=-9600"}, "no line speed '-9600' (110, 300, 600, 1200, 2400, 4800, 9600, "
                         "19200, 38400, 57600, 115200 or 230400)"},
  };
  for (const Case& c : cases) {
    Parsed p = parse(c.args);
    EXPECT_EQ(p.result, 2) << c.args[0];
    EXPECT_EQ(p.error, c.error);
  }
}

// The camera's zone: the device's unless given, either sign, and passed on by
// --boot with --auto-tag; anything but [+|-]HH:MM within a day is refused.
TEST(HostOptions, CameraOffsetAndAutomaticBatches) {
  Parsed none = parse({});
  EXPECT_EQ(none.options.cameraOffset, 3 * 3600);
  EXPECT_FALSE(none.options.autoTag);
  Parsed west = parse({"--auto-tag", "--offset=-04:30"});
  ASSERT_EQ(west.result, 0) << west.error;
  EXPECT_TRUE(west.options.autoTag);
  EXPECT_EQ(west.options.cameraOffset, -(4 * 3600 + 30 * 60));
  EXPECT_EQ(west.options.passOn, (std::vector<std::string>{"--auto-tag", "--offset", "-04:30"}));
  EXPECT_EQ(parse({"--offset", "00:00"}).options.cameraOffset, 0);
  EXPECT_EQ(parse({"--offset", "+23:59"}).options.cameraOffset, 23 * 3600 + 59 * 60);
  for (const char* bad : {"+24:00", "+3:00", "+03:60", "+03", "03:00:00", "--03:00", ""}) {
    Parsed p = parse({"--offset", bad});
    EXPECT_EQ(p.result, 2) << bad;
    EXPECT_EQ(p.error, std::string("the offset must be +HH:MM or -HH:MM, not '") + bad + "'");
  }
  EXPECT_EQ(parse({"--auto-tag=yes"}).error, "'--auto-tag' takes no value");
}

}  // namespace

TEST(HostOptions, GpsdAddressesWithAndWithoutAPort) {
  struct Case {
    const char* text;
    bool ok;
    const char* host;
    const char* port;
  } cases[] = {
      {"localhost", true, "localhost", "2947"},  {"gps.lan:3000", true, "gps.lan", "3000"},
      {"[::1]:2948", true, "::1", "2948"},       {"[fe80::1]", true, "fe80::1", "2947"},
      {"::1", true, "::1", "2947"},              {"", false, "", ""},
      {":2947", false, "", ""},                  {"host:", false, "", ""},
      {"[::1", false, "", ""},                   {"[::1]x", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string host, port;
    EXPECT_EQ(c.ok, parseGpsdAddress(c.text, &host, &port)) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(c.host, host) << c.text;
    EXPECT_EQ(c.port, port) << c.text;
  }
  Parsed p = parse({"--gpsd", "127.0.0.1:4000"});
  ASSERT_EQ(p.result, 0);
  EXPECT_EQ("127.0.0.1", p.options.gpsdHost);
  EXPECT_EQ("4000", p.options.gpsdPort);
  EXPECT_EQ((std::vector<std::string>{"--gpsd", "127.0.0.1:4000"}), p.options.passOn);
}
