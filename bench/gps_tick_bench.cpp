// CPU time of one worker tick: with nothing from the receiver (the common
// case, twice a second for the device's whole life), and with a 480-byte
// burst, the most a 9600-baud receiver delivers in 500 ms. The port is a real
// pty in a temporary device image; the burst is handed to the tick through
// the host-call table's read, so the benchmark times the tick, not the pty.
// Also a stream read 480 bytes at a time, so every tick carries a cut
// sentence over, and a receiver at 115,200 baud that mixes binary frames
// (NUL bytes, stray '$' and CR LF among them) between its sentences, read
// 6 KB a tick.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "app/state/shared_state.h"
#include "gps/gps_worker.h"
#include "gps/nmea_intake.h"
#include "gps/track_log.h"
#include "platform/ce.h"
#include "platform/kernel/device_image.h"
#include "platform/core/handles.h"
#include "platform/core/host_calls.h"

namespace {

// One reporting cycle of a receiver, padded with satellite views to 480 bytes.
std::string burst480() {
  std::string b =
      "$GPGGA,030719.000,3747.0873,S,17518.8938,E,1,08,1.1,59.9,M,23.7,M,,0000*7D\r\n"
      "$GPGSA,A,3,17,28,06,01,30,20,26,13,,,,,1.8,1.1,1.5*33\r\n"
      "$GPRMC,030719.000,A,3747.0873,S,17518.8938,E,0.69,181.39,311214,,,A*7D\r\n";
  const std::string gsv = "$GPGSV,3,1,12,17,72,207,32,28,59,095,31,30,23,011,29,20,17,069,20*7F\r\n";
  while (b.size() + gsv.size() <= 480) b += gsv;
  b.append(480 - b.size() - 2, '0');
  b += "\r\n";
  return b;
}

std::string gBurst;
int gPortFd = -1;

ssize_t burstRead(int fd, void* buf, size_t count) {
  if (fd != gPortFd) return realHostCalls().read(fd, buf, count);
  size_t n = gBurst.size() < count ? gBurst.size() : count;
  memcpy(buf, gBurst.data(), n);
  return static_cast<ssize_t>(n);
}

// A receiver's text as a stream: each read takes the next 480 bytes, so the
// reads end inside sentences at a phase that moves from tick to tick and
// every tick carries an unfinished line over to the next.
std::string gStream;
size_t gStreamAt = 0;
size_t gStreamPiece = 480;

ssize_t streamRead(int fd, void* buf, size_t count) {
  if (fd != gPortFd) return realHostCalls().read(fd, buf, count);
  size_t n = count < gStreamPiece ? count : gStreamPiece;
  for (size_t i = 0; i < n; ++i) static_cast<char*>(buf)[i] = gStream[(gStreamAt + i) % gStream.size()];
  gStreamAt = (gStreamAt + n) % gStream.size();
  return static_cast<ssize_t>(n);
}

// One cycle of a receiver that sends a binary protocol beside NMEA: a frame
// of pseudo-random bytes (NULs, '$' and CR LF among them) before each
// sentence, and one without a line end.
std::string mixedCycle(unsigned* seed) {
  auto frame = [seed](size_t n) {
    std::string f = "\xB5\x62";
    for (size_t i = 0; i < n; ++i) {
      *seed = *seed * 1103515245u + 12345u;
      f.push_back(static_cast<char>((*seed >> 16) & 0xFF));
    }
    return f;
  };
  return frame(90) + "$GPGGA,030719.000,3747.0873,S,17518.8938,E,1,08,1.1,59.9,M,23.7,M,,0000*7D\r\n" +
         frame(60) + "$GPGSA,A,3,17,28,06,01,30,20,26,13,,,,,1.8,1.1,1.5*33\r\n" + frame(120) +
         "$GPRMC,030719.000,A,3747.0873,S,17518.8938,E,0.69,181.39,311214,,,A*7D\r\n" +
         frame(40) + "$GPGSV,3,1,12,17,72,207,32,28,59,095,31,30,23,011,29,20,17,069,20*7F\r\n";
}

// A device image and an open port, made once for the whole run.
struct Rig {
  int master = -1;
  std::string root;
  Rig() {
    char dir[] = "/tmp/vt-bench-XXXXXX";
    root = mkdtemp(dir);
    setDeviceRoot(root);
    prepareDeviceImage();
    master = posix_openpt(O_RDWR | O_NOCTTY);
    grantpt(master);
    unlockpt(master);
    setCom1Path(ptsname(master));
    resetGpsIntake();
    LPCWSTR failure = nullptr;
    gpsWorker.port = openGpsPort(&failure);
    if (!gpsWorker.port) abort();
    HandleEntry e;
    if (!lookupHandle(gpsWorker.port, HandleKind::Serial, &e)) abort();
    gPortFd = e.fd;  // the read override answers for this descriptor only
  }
  ~Rig() {
    closeTrackLogAtExit();
    CloseHandle(gpsWorker.port);
    close(master);
    std::filesystem::remove_all(root);
  }
};

Rig& rig() {
  static Rig r;
  return r;
}

// A tick while a batch holds the log: the intake, and the records held.
// The held fixes are let go now and then, outside the timing, so they never
// reach their bound.
void tickWithoutWrite(benchmark::State& state) {
  static unsigned ticks = 0;
  runGpsTick();
  if (++ticks % 1024 == 0) {
    state.PauseTiming();
    resetTrackLog();
    state.ResumeTiming();
  }
}

void BM_TickWithNothingArrived(benchmark::State& state) {
  rig();
  for (auto _ : state) runGpsTick();
}
BENCHMARK(BM_TickWithNothingArrived);

// The burst with the log standing aside (as during a batch): the intake's
// own cost, with no write.
void BM_TickWith480ByteBurstNoWrite(benchmark::State& state) {
  rig();
  gBurst = burst480();
  HostCallsOverride calls;
  calls->read = burstRead;
  shared.batchRunning = 1;
  for (auto _ : state) tickWithoutWrite(state);
  shared.batchRunning = 0;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 480);
}
BENCHMARK(BM_TickWith480ByteBurstNoWrite);

// 480 bytes a tick that end inside a sentence, the log standing aside: the
// intake with its carry-over, against the whole-burst tick above.
void BM_TickWith480BytesCutInsideSentencesNoWrite(benchmark::State& state) {
  rig();
  gStream = burst480();
  gStream.resize(gStream.size() - 7);  // 473 bytes a cycle: the cut drifts by 7
  gStreamAt = 0;
  HostCallsOverride calls;
  calls->read = streamRead;
  shared.batchRunning = 1;
  for (auto _ : state) tickWithoutWrite(state);
  shared.batchRunning = 0;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 480);
}
BENCHMARK(BM_TickWith480BytesCutInsideSentencesNoWrite);

// 6 KB a tick of binary frames and sentences mixed, cut anywhere, the log
// standing aside: what a fast receiver with a binary protocol costs.
void BM_TickWith6KMixedBinaryAndSentencesNoWrite(benchmark::State& state) {
  rig();
  unsigned seed = 1;
  gStream.clear();
  while (gStream.size() < 64 * 1024) gStream += mixedCycle(&seed);
  gStreamAt = 0;
  gStreamPiece = 6 * 1024;
  HostCallsOverride calls;
  calls->read = streamRead;
  shared.batchRunning = 1;
  for (auto _ : state) tickWithoutWrite(state);
  shared.batchRunning = 0;
  gStreamPiece = 480;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 6 * 1024);
}
BENCHMARK(BM_TickWith6KMixedBinaryAndSentencesNoWrite);

// The burst with its record appended to the day file, write-through: the
// CPU time stays small, the wall time is the storage's flush.
void BM_TickWith480ByteBurstAndWrite(benchmark::State& state) {
  rig();
  gBurst = burst480();
  HostCallsOverride calls;
  calls->read = burstRead;
  for (auto _ : state) runGpsTick();
  closeTrackLogAtExit();
}
BENCHMARK(BM_TickWith480ByteBurstAndWrite)->Iterations(200);

}  // namespace
