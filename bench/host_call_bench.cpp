// What a host call costs through the table's named entry against a bare
// function pointer to the same call, side by side: a call that succeeds (the
// entry only tests the result), one that fails (the entry notes its name and
// descriptor, and names the file behind the descriptor from /proc), and the
// read of a port with nothing waiting, which fails with EAGAIN on every idle
// tick (noted without the look-up).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include "platform/core/host_calls.h"

namespace {

int openDevNull() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

off_t (*volatile bareLseek)(int, off_t, int) = ::lseek;

void BM_BarePointerLseek(benchmark::State& state) {
  int fd = openDevNull();
  for (auto _ : state) benchmark::DoNotOptimize(bareLseek(fd, 0, SEEK_CUR));
  ::close(fd);
}
BENCHMARK(BM_BarePointerLseek);

void BM_TableEntryLseek(benchmark::State& state) {
  int fd = openDevNull();
  for (auto _ : state) benchmark::DoNotOptimize(hostCalls().lseek(fd, 0, SEEK_CUR));
  ::close(fd);
}
BENCHMARK(BM_TableEntryLseek);

// An invalid whence on an open descriptor: EINVAL at once.
void BM_BarePointerFailingLseek(benchmark::State& state) {
  int fd = openDevNull();
  for (auto _ : state) benchmark::DoNotOptimize(bareLseek(fd, 0, 99));
  ::close(fd);
}
BENCHMARK(BM_BarePointerFailingLseek);

void BM_TableEntryFailingLseek(benchmark::State& state) {
  int fd = openDevNull();
  for (auto _ : state) benchmark::DoNotOptimize(hostCalls().lseek(fd, 0, 99));
  ::close(fd);
}
BENCHMARK(BM_TableEntryFailingLseek);

ssize_t (*volatile bareRead)(int, void*, size_t) = ::read;

void emptyPort(int fds[2]) {
  if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) fds[0] = fds[1] = -1;
}

void BM_BarePointerReadNothingWaiting(benchmark::State& state) {
  int fds[2];
  emptyPort(fds);
  char buf[64];
  for (auto _ : state) benchmark::DoNotOptimize(bareRead(fds[0], buf, sizeof buf));
  ::close(fds[0]);
  ::close(fds[1]);
}
BENCHMARK(BM_BarePointerReadNothingWaiting);

void BM_TableEntryReadNothingWaiting(benchmark::State& state) {
  int fds[2];
  emptyPort(fds);
  char buf[64];
  for (auto _ : state) benchmark::DoNotOptimize(hostCalls().read(fds[0], buf, sizeof buf));
  ::close(fds[0]);
  ::close(fds[1]);
}
BENCHMARK(BM_TableEntryReadNothingWaiting);

}  // namespace
