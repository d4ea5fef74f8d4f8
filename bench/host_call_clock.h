// Says where a benchmark's time goes: while a HostCallClock lives, every
// entry of the host-call table is timed, so the time spent in each system
// call (fsync, rename, write, ...) can be set beside the wall time,
// and what is left is the program's own work. One thread at a time: the
// totals are plain counters. A reading costs two clock reads a call (about
// 40 ns), far below the calls that matter here.
#pragma once
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <type_traits>

#include "platform/core/host_calls.h"

namespace host_call_clock {

struct Total {
  int64_t nanoseconds = 0;
  int64_t calls = 0;
};

template <typename Tag, typename Signature>
struct Clocked;

template <typename Tag, typename R, typename... A>
struct Clocked<Tag, R(A...)> {
  static inline R (*real)(A...) = nullptr;
  static inline Total total;
  static R call(A... args) {
    const auto start = std::chrono::steady_clock::now();
    struct Add {
      std::chrono::steady_clock::time_point start;
      ~Add() {
        total.nanoseconds += std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count();
        total.calls++;
      }
    } add{start};
    return real(args...);
  }
};

#define VT_CLOCK_TAG(name, signature) \
  struct name##Tag {};                \
  using name##Clock = Clocked<name##Tag, signature>;
VT_HOST_CALLS(VT_CLOCK_TAG)
#undef VT_CLOCK_TAG

}  // namespace host_call_clock

// Times the live table's entries from construction to destruction, and
// restores them then.
class HostCallClock {
 public:
  HostCallClock() {
#define VT_CLOCK_WRAP(name, signature)                              \
  host_call_clock::name##Clock::real = hostCalls().name.function(); \
  host_call_clock::name##Clock::total = {};                         \
  hostCalls().name = &host_call_clock::name##Clock::call;
    VT_HOST_CALLS(VT_CLOCK_WRAP)
#undef VT_CLOCK_WRAP
  }
  HostCallClock(const HostCallClock&) = delete;
  HostCallClock& operator=(const HostCallClock&) = delete;

  // Leaves out what was timed so far (a benchmark's untimed set-up).
  void reset() {
#define VT_CLOCK_RESET(name, signature) host_call_clock::name##Clock::total = {};
    VT_HOST_CALLS(VT_CLOCK_RESET)
#undef VT_CLOCK_RESET
  }
  // Milliseconds an iteration in each call that took any time, and the
  // calls an iteration, as the benchmark's counters ("fsync ms", "fsync n").
  void report(benchmark::State& state) const {
    const double iterations = static_cast<double>(state.iterations());
    auto put = [&](const char* name, const host_call_clock::Total& t) {
      if (t.calls == 0) return;
      state.counters[std::string(name) + " ms"] = t.nanoseconds / 1e6 / iterations;
      state.counters[std::string(name) + " n"] = static_cast<double>(t.calls) / iterations;
    };
#define VT_CLOCK_REPORT(name, signature) put(#name, host_call_clock::name##Clock::total);
    VT_HOST_CALLS(VT_CLOCK_REPORT)
#undef VT_CLOCK_REPORT
  }
  ~HostCallClock() { hostCalls() = saved_; }

 private:
  HostCalls saved_ = hostCalls();
};
