// The worker's tick over a real pty standing in for the receiver: the line
// settings the port gets, what a read brings, and the failures that keep the
// worker from starting.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <cerrno>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/state/shared_state.h"
#include "gps/gps_worker.h"
#include "gps/nmea_intake.h"
#include "gps/recorder_notices.h"
#include "gps/track_log.h"
#include "platform/kernel/serial_silence.h"
#include "platform/ce.h"
#include "platform/core/host_calls.h"
#include "tests/geotag/track_log.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/imported_days.h"
#include "tests/support/nmea_capture.h"
#include "tests/support/pty_receiver.h"
#include "platform/core/handles.h"

namespace {

const std::string kFix =
    "$GPRMC,093015.00,A,5545.1234,N,03737.5678,E,0.13,309.62,060326,,,A*54\r\n";
const std::string kLaterFix =
    "$GPRMC,093016.00,A,5545.1240,N,03737.5690,E,0.13,309.62,060326,,,A*52\r\n";
const std::string kThirdFix =
    "$GPRMC,093017.00,A,5545.1250,N,03737.5700,E,0.13,309.62,060326,,,A*5A\r\n";

class GpsTickTest : public DeviceImageTest {
 protected:
  void SetUp() override {
    DeviceImageTest::SetUp();
    resetGpsIntake();
    resetTrackLog();
    ASSERT_TRUE(receiver.ok());
    ASSERT_TRUE(receiver.linkAsCom1(image->root()));
  }
  void TearDown() override {
    closeTrackLogAtExit();
    if (gpsWorker.port) CloseHandle(gpsWorker.port);
    gpsWorker.port = nullptr;
    DeviceImageTest::TearDown();
  }
  void openPort() {
    LPCWSTR failure = nullptr;
    gpsWorker.port = openGpsPort(&failure);
    ASSERT_NE(nullptr, gpsWorker.port) << utf8FromUtf16(failure);
  }
  // Sends a burst and waits until it has arrived at the port, so the next
  // tick reads all of it.
  void send(const std::string& bytes) {
    ASSERT_TRUE(receiver.send(bytes));
    receiver.waitUntilArrived(static_cast<int>(bytes.size()), 1000);
    ASSERT_EQ(static_cast<int>(bytes.size()), receiver.unread());
  }
  std::string day() { return readWholeFile(logPath(*image, "060326")); }
  std::string expected(const std::string& text) { return importedDay(text, "060326"); }

  PtyReceiver receiver;
};

TEST_F(GpsTickTest, ThePortIsSetToRawNineSixHundredEightNOneWithReadsThatNeverWait) {
  // Start from a line that is nothing like the receiver's.
  int fd = open(receiver.slavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  struct termios t;
  ASSERT_EQ(0, tcgetattr(fd, &t));
  t.c_iflag |= ICRNL | IXON | IGNCR;
  t.c_lflag |= ICANON | ECHO | ISIG;
  t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
  t.c_cc[VMIN] = 1;
  cfsetispeed(&t, B4800);
  cfsetospeed(&t, B4800);
  ASSERT_EQ(0, tcsetattr(fd, TCSANOW, &t));

  openPort();
  ASSERT_EQ(0, tcgetattr(fd, &t));
  close(fd);
  EXPECT_EQ(B9600, cfgetispeed(&t));
  EXPECT_EQ(B9600, cfgetospeed(&t));
  EXPECT_EQ(static_cast<tcflag_t>(CS8), t.c_cflag & CSIZE);
  EXPECT_EQ(0u, t.c_cflag & (PARENB | CSTOPB | CRTSCTS));
  EXPECT_NE(0u, t.c_cflag & CREAD);
  EXPECT_EQ(0u, t.c_iflag & (ICRNL | IGNCR | INLCR | IXON | IXOFF | ISTRIP));
  EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
  EXPECT_EQ(0, t.c_cc[VMIN]);
  EXPECT_EQ(0, t.c_cc[VTIME]);

  DCB dcb;
  ASSERT_TRUE(GetCommState(gpsWorker.port, &dcb));
  EXPECT_EQ(9600u, dcb.BaudRate);
  EXPECT_EQ(8, dcb.ByteSize);
  EXPECT_EQ(NOPARITY, dcb.Parity);
  EXPECT_EQ(ONESTOPBIT, dcb.StopBits);
  EXPECT_EQ(0u, dcb.fOutxCtsFlow);
  COMMTIMEOUTS timeouts;
  ASSERT_TRUE(GetCommTimeouts(gpsWorker.port, &timeouts));
  EXPECT_EQ(MAXDWORD, timeouts.ReadIntervalTimeout);
  EXPECT_EQ(0u, timeouts.ReadTotalTimeoutMultiplier);
  EXPECT_EQ(0u, timeouts.ReadTotalTimeoutConstant);
  EXPECT_EQ(10u, timeouts.WriteTotalTimeoutMultiplier);
  EXPECT_EQ(1000u, timeouts.WriteTotalTimeoutConstant);

  // Read time-outs that would make a read wait are not provided.
  COMMTIMEOUTS waiting = {0, 0, 100, 0, 0};
  EXPECT_FALSE(SetCommTimeouts(gpsWorker.port, &waiting));

  // Nothing has arrived: the read comes back at once, empty.
  char buf[16];
  DWORD got = 99;
  EXPECT_TRUE(ReadFile(gpsWorker.port, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(0u, got);
}

// A pty has no modem lines to read back, so what is checked is what the
// port asks of the line: DTR and RTS raised, neither dropped.
std::vector<std::pair<unsigned long, int>> gModemRequests;

TEST_F(GpsTickTest, TheHostsLineSpeedHoldsWhateverTheProgramAsks) {
  setComBaudRate(4800);
  openPort();
  setComBaudRate(0);
  struct termios t;
  ASSERT_TRUE(receiver.lineSettings(&t));
  EXPECT_EQ(B4800, cfgetispeed(&t));
  EXPECT_EQ(B4800, cfgetospeed(&t));
}

// A port that opens but brings nothing (another program holds the
// receiver) is said to the host once, and again only after it has brought
// bytes and fallen quiet anew.
TEST_F(GpsTickTest, AQuietPortIsSaidToTheHostOnceUntilItBringsBytes) {
  static std::vector<std::string> said;
  said.clear();
  setSerialSilenceHandler([](const char* path) { said.push_back(path); }, 300);
  openPort();
  char buffer[256];
  DWORD got = 0;
  auto readFor = [&](std::chrono::milliseconds span) {
    for (auto end = std::chrono::steady_clock::now() + span; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(std::chrono::milliseconds(50)))
      ReadFile(gpsWorker.port, buffer, sizeof buffer, &got, nullptr);
  };
  readFor(std::chrono::milliseconds(800));
  EXPECT_EQ(std::vector<std::string>{image->path("Com1")}, said);
  send("$GPGGA\r\n");
  readFor(std::chrono::milliseconds(150));
  EXPECT_EQ(1u, said.size());
  readFor(std::chrono::milliseconds(600));
  EXPECT_EQ(2u, said.size());
  setSerialSilenceHandler(nullptr);
}

TEST_F(GpsTickTest, ThePortRaisesDtrAndRts) {
  gModemRequests.clear();
  {
    HostCallsOverride calls;
    hostCalls().ioctl = [](int fd, unsigned long request, void* arg) {
      if (request == TIOCMBIS || request == TIOCMBIC || request == TIOCMSET)
        gModemRequests.push_back({request, *static_cast<int*>(arg)});
      return realHostCalls().ioctl(fd, request, arg);
    };
    openPort();
  }
  int raised = 0, dropped = 0;
  for (const auto& [request, lines] : gModemRequests) (request == TIOCMBIC ? dropped : raised) |= lines;
  EXPECT_EQ(TIOCM_DTR | TIOCM_RTS, raised & (TIOCM_DTR | TIOCM_RTS));
  EXPECT_EQ(0, dropped & (TIOCM_DTR | TIOCM_RTS));
}

// Each failure gives its message box text, and its debug-output line names
// the host path and the host's reason.
TEST_F(GpsTickTest, PortsThatCannotBeSetUpGiveTheirMessagesAndNoHandle) {
  const std::string com1 = image->path("Com1");
  struct Case {
    const char* what;
    std::function<void()> arrange;
    const char* message;
    std::string reason;
  } cases[] = {
      {"no Com1", [&] { unlink(image->path("Com1").c_str()); },
       "Unable to configure the serial port", "open " + com1 + ": No such file or directory"},
      {"Com1 is a file", [&] {
         unlink(image->path("Com1").c_str());
         writeWholeFile(image->path("Com1"), "not a tty");
       }, "Unable to configure the serial port", "Com1 (fd "},
      {"the line settings are refused", [] {
         hostCalls().tcsetattr = [](int, int, const struct termios*) { errno = EIO; return -1; };
       }, "Unable to configure the serial port",
       "tcsetattr " + receiver.slavePath() + " (fd "},
      {"the time-outs are refused", [] {
         static int calls;
         calls = 0;
         hostCalls().tcsetattr = [](int fd, int action, const struct termios* t) {
           if (++calls == 2) {
             errno = EIO;
             return -1;
           }
           return realHostCalls().tcsetattr(fd, action, t);
         };
       }, "Unable to set the time-out parameters", "Input/output error"},
  };
  for (const Case& c : cases) {
    HostCallsOverride calls;
    receiver.linkAsCom1(image->root());
    c.arrange();
    LPCWSTR failure = nullptr;
    resetRecorderNotices();
    testing::internal::CaptureStderr();
    EXPECT_EQ(nullptr, openGpsPort(&failure)) << c.what;
    EXPECT_TRUE(sayPortFailure());
    EXPECT_FALSE(sayPortFailure());  // the same failure again: said once
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_NE(nullptr, failure) << c.what;
    EXPECT_EQ(c.message, utf8FromUtf16(failure)) << c.what;
    EXPECT_NE(std::string::npos, err.find(c.reason)) << c.what << ": " << err;
  }
}

TEST_F(GpsTickTest, ATickReadsWhatArrivedMakesTheFolderAndLogsIt) {
  openPort();
  rmdir(trackLogFolder(*image).c_str());
  struct stat st;
  ASSERT_NE(0, stat(trackLogFolder(*image).c_str(), &st));
  runGpsTick();  // nothing has arrived: no records, but the folder is made
  EXPECT_EQ(0, stat(trackLogFolder(*image).c_str(), &st));
  EXPECT_EQ(0, shared.logOpen);

  // The CR LF pairs reach the splitting unchanged.
  send(kFix + "$GPGGA,093016.00,5545.1240,N,03737.5690,E,1,08,1.1,59.9,M,23.7,M,,0000*7D\r\n" +
       kLaterFix);
  runGpsTick();
  EXPECT_EQ(expected(kFix + kLaterFix), day());
  EXPECT_EQ(28u, day().size());
  EXPECT_EQ(0, receiver.unread());
}

// A receiver that mixes a binary protocol in: NULs, binary bytes before a
// '$' and a frame that holds CR LF, all in one read.
TEST_F(GpsTickTest, BinaryFramesBetweenSentencesCostNoFix) {
  openPort();
  const std::string frame("\xB5\x62\x01\x07\x00\x00\r\n\x24\x00\xFF", 11);
  send(frame + kFix + frame + std::string(3, '\0') + kLaterFix + "\xB5\x62\x00" + kThirdFix);
  runGpsTick();
  EXPECT_EQ(expected(kFix + kLaterFix + kThirdFix), day());
  EXPECT_EQ(42u, day().size());
}

// A receiver at its real pace: each reporting cycle goes out at 960 bytes a
// second in small pieces, one cycle a second plus a drift, so the reads of
// the 500 ms tick end at ever other places inside the sentences. Time is the
// test's own: the pieces due by a tick's time are written and have arrived
// before that tick runs, so the port is real and the phases are exact.
TEST_F(GpsTickTest, AReceiverStreamingAtItsLinePaceHasEveryFixRecordedOnceInOrder) {
  struct Case {
    const char* capture;
    double cycleMs;  // the receiver's cycle, drifting against the tick
    double tickPhaseMs;
  } cases[] = {
      {"bu353s4.log", 1007.0, 0.0},
      {"gpslim236.log", 993.0, 250.0},
      {"et-332.log", 1013.0, 420.0},
  };
  int fixes = 0;
  for (const Case& c : cases) {
    std::vector<std::string> bursts = captureBursts(capturePath(c.capture));
    std::string text;
    for (const std::string& b : bursts) text += b;
    const auto whole = importedDayFiles(text);
    struct Piece {
      double dueMs;
      std::string bytes;
    };
    std::vector<Piece> pieces;
    double lineFreeMs = 0;
    unsigned size = 11;
    for (size_t i = 0; i < bursts.size(); ++i) {
      double at = std::max(static_cast<double>(i) * c.cycleMs, lineFreeMs);
      for (size_t from = 0; from < bursts[i].size(); from += size, size = 5 + (size * 7) % 29) {
        std::string bytes = bursts[i].substr(from, size);
        at += bytes.size() * 1000.0 / 960.0;
        pieces.push_back({at, bytes});
      }
      lineFreeMs = at;
    }

    resetGpsIntake();
    resetTrackLog();
    openPort();
    size_t next = 0;
    for (double tickMs = c.tickPhaseMs; next < pieces.size() || tickMs < lineFreeMs + 1000;
         tickMs += 500) {
      std::string due;
      for (; next < pieces.size() && pieces[next].dueMs <= tickMs; ++next) {
        ASSERT_TRUE(receiver.send(pieces[next].bytes));
        due += pieces[next].bytes;
      }
      receiver.waitUntilArrived(static_cast<int>(due.size()), 1000);
      ASSERT_EQ(static_cast<int>(due.size()), receiver.unread());
      runGpsTick();
    }
    closeTrackLogAtExit();
    CloseHandle(gpsWorker.port);
    gpsWorker.port = nullptr;
    for (const auto& [name, bytes] : whole) {
      EXPECT_EQ(bytes, readWholeFile(trackLogFolder(*image) + "/" + name)) << c.capture;
      fixes += static_cast<int>(bytes.size() / 14);
    }
  }
  EXPECT_EQ(25 + 20 + 19, fixes);
}

TEST_F(GpsTickTest, AReceiverPulledOutAndPluggedBackInIsReadAgainWithTheSameSettings) {
  openPort();
  send(kFix + kLaterFix.substr(0, 40));  // pulled out in the middle of a sentence
  runGpsTick();
  receiver.hangUp();
  DWORD got = 99;
  char buf[16];
  EXPECT_FALSE(ReadFile(gpsWorker.port, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(0u, got);
  runGpsTick();
  runGpsTick();
  EXPECT_EQ(1, shared.logOpen);
  EXPECT_EQ(expected(kFix), day());

  // Back at the same link, as a new tty in a state nothing like the
  // receiver's: the port is set up as before, without a word to the user.
  PtyReceiver again;
  ASSERT_TRUE(again.ok());
  {
    int fd = open(again.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    struct termios t;
    ASSERT_EQ(0, tcgetattr(fd, &t));
    t.c_lflag |= ICANON | ECHO;
    t.c_cc[VMIN] = 1;
    cfsetispeed(&t, B4800);
    cfsetospeed(&t, B4800);
    ASSERT_EQ(0, tcsetattr(fd, TCSANOW, &t));
    close(fd);
  }
  ASSERT_TRUE(again.linkAsCom1(image->root()));
  // The half sentence from before does not join what comes after, even
  // when that would make a line (here one without a checksum).
  const std::string rest = kLaterFix.substr(40, kLaterFix.size() - 40 - 5) + "\r\n";
  ASSERT_TRUE(again.send(rest + kThirdFix));
  again.waitUntilArrived(static_cast<int>(rest.size() + kThirdFix.size()), 1000);
  runGpsTick();
  EXPECT_EQ(expected(kFix) + expected(kThirdFix), day());
  DCB dcb;
  ASSERT_TRUE(GetCommState(gpsWorker.port, &dcb));
  EXPECT_EQ(9600u, dcb.BaudRate);
  struct termios t;
  ASSERT_TRUE(again.lineSettings(&t));
  EXPECT_EQ(0u, t.c_lflag & (ICANON | ECHO));
  EXPECT_EQ(0, t.c_cc[VMIN]);
  COMMTIMEOUTS timeouts;
  ASSERT_TRUE(GetCommTimeouts(gpsWorker.port, &timeouts));
  EXPECT_EQ(1000u, timeouts.WriteTotalTimeoutConstant);
  // And it is pulled out again: the same once more.
  again.hangUp();
  runGpsTick();
  EXPECT_EQ(expected(kFix) + expected(kThirdFix), day());
}

}  // namespace
