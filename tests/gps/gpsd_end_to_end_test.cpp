// The real program reading its receiver through a real gpsd (--gpsd): gpsd
// holds a pty the test writes NMEA into and listens on 127.0.0.1 only, at a
// free port. gpsd is stopped and started again mid-run; the day file must
// hold every fix once, with no message box, the program taking gpsd up again
// by itself.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/geotag/track_log.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

std::string findGpsd() {
  for (const char* p : {"/usr/sbin/gpsd", "/usr/local/sbin/gpsd", "/usr/bin/gpsd"})
    if (access(p, X_OK) == 0) return p;
  return "";
}

// A port nobody listens on now, on the loopback only.
int freeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    close(fd);
    return -1;
  }
  close(fd);
  return ntohs(a.sin_port);
}

bool accepting(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  close(fd);
  return up;
}

// A valid $GPRMC of 06 Mar 2026 at `seconds` of the day, with its checksum
// (gpsd relays only sentences whose checksum holds).
std::string fix(int seconds) {
  char body[96];
  snprintf(body, sizeof body,
           "GPRMC,%02d%02d%02d.00,A,5545.1234,N,03737.5678,E,0.13,309.62,060326,,,A",
           seconds / 3600, seconds / 60 % 60, seconds % 60);
  unsigned sum = 0;
  for (const char* c = body; *c; ++c) sum ^= static_cast<unsigned char>(*c);
  char line[128];
  snprintf(line, sizeof line, "$%s*%02X\r\n", body, sum);
  return line;
}

TEST(GpsdEndToEnd, EveryFixIsLoggedOnceAcrossARestartOfGpsd) {
  const std::string gpsd = findGpsd();
  if (gpsd.empty()) GTEST_SKIP() << "needs gpsd (scripts/install-deps installs it); not installed";
  TempDeviceImage image;
  PtyReceiver receiver;
  ASSERT_TRUE(receiver.ok());
  const int port = freeLoopbackPort();
  ASSERT_GT(port, 0);
  // -N foreground, -n the device opened at once, -b read-only (no probes
  // written to the "receiver"); gpsd listens on the loopback unless -G.
  auto startGpsd = [&] {
    auto p = std::make_unique<ProgramProcess>(
        gpsd, std::vector<std::string>{"-N", "-n", "-b", "-S", std::to_string(port),
                                       receiver.slavePath()});
    EXPECT_TRUE(waitFor([&] { return accepting(port); }, 10s)) << "gpsd did not start";
    return p;
  };
  auto gpsdProcess = startGpsd();
  ProgramProcess program(VT_PROGRAM, {"--root", image.root(), "--display", "headless", "--gpsd",
                                      "127.0.0.1:" + std::to_string(port)});
  ASSERT_TRUE(program.started());

  std::string expected;
  // Sends the fix until the day holds it: gpsd takes a sentence or two to
  // recognise the receiver, and a repeat of the same fix is not recorded.
  auto record = [&](int seconds) {
    expected += recordBytes(TestRecord{seconds});
    return waitFor(
        [&] {
          receiver.send(fix(seconds));
          std::this_thread::sleep_for(250ms);
          return readWholeFile(logPath(image, "060326")).size() >= expected.size();
        },
        20s);
  };
  int t = 34215;
  for (int i = 0; i < 4; i++) ASSERT_TRUE(record(t++)) << "fix " << i << " before the restart";

  gpsdProcess->signal(SIGTERM);
  EXPECT_GE(gpsdProcess->waitForExit(10s), 0);
  std::this_thread::sleep_for(1500ms);  // the program finds gpsd gone
  gpsdProcess = startGpsd();
  auto back = Clock::now();
  ASSERT_TRUE(record(t++)) << "nothing recorded after gpsd came back";
  auto resumed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - back);
  // Within two seconds of gpsd accepting, and gpsd's own recognition of the
  // receiver on top.
  EXPECT_LT(resumed.count(), 6000);
  fprintf(stderr, "recording resumed %lld ms after gpsd accepted again\n",
          static_cast<long long>(resumed.count()));
  for (int i = 0; i < 3; i++) ASSERT_TRUE(record(t++)) << "fix " << i << " after the restart";

  program.signal(SIGTERM);
  EXPECT_EQ(0, program.waitForExit(10s));
  EXPECT_EQ(expected, readWholeFile(logPath(image, "060326")));
  EXPECT_TRUE(program.outLines().empty()) << program.outLines()[0];
}

}  // namespace
