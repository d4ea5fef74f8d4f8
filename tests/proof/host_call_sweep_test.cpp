// The host-call sweep: each named entry of the host-call table fails in turn
// at its first, second, third ... call during one recorder tick and one photo
// rewrite, once or from that call on, until the step no longer reaches that
// many calls of it. Whatever fails, the day log keeps whole records only, a
// prefix of what a clean run writes (and the next clean tick appends after
// it), and the photo is byte for byte the original or the whole tagged copy,
// never reported tagged when it is not.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "app/state/shared_state.h"
#include "geotag/gps_insert.h"
#include "geotag/tag_outcome.h"
#include "gps/gps_worker.h"
#include "gps/nmea_intake.h"
#include "gps/track_log.h"
#include "platform/ce.h"
#include "platform/core/host_calls.h"
#include "platform/user/resources.h"
#include "res/resources.h"
#include "tests/geotag/track_log.h"
#include "tests/support/device_image_fixture.h"
#include "tests/support/host_failure_note.h"
#include "tests/support/nmea_capture.h"
#include "tests/support/pty_receiver.h"

namespace {

constexpr char kBurstDay[] = "210706";  // the capture's fixes
constexpr char kPhotoDay[] = "270804";  // the photo was taken 2004:08:27 13:52:55, UTC+3
constexpr int32_t kPhotoFixSeconds = 13 * 3600 + 52 * 60 + 55 - 10800;
const char16_t kPhotoName[] = u"\\SDMMC\\DCIM\\100CAM\\IMG_0001.JPG";

std::string dataFile(const std::string& name) {
  return readWholeFile(std::string(VT_SOURCE_DIR) + "/tests/data/" + name);
}

// ---- Making one call of one entry fail ---------------------------------------

struct Fault {
  std::string entry;
  int nth;          // the call that fails, counting from 1
  int error;        // its errno
  bool persistent;  // every later call of the entry fails too
};

struct FaultState {
  Fault fault;
  bool releases = false;  // close and closedir let go of the descriptor even when they fail
  int calls = 0;
};
FaultState gState;

template <typename Signature>
struct Faulty;
template <typename R, typename... A>
struct Faulty<R(A...)> {
  static inline R (*real)(A...) = nullptr;
  static R call(A... args) {
    int n = ++gState.calls;
    if (n == gState.fault.nth || (gState.fault.persistent && n > gState.fault.nth)) {
      if (gState.releases) real(args...);
      errno = gState.fault.error;
      if constexpr (std::is_pointer_v<R>)
        return nullptr;
      else
        return static_cast<R>(-1);
    }
    return real(args...);
  }
};

template <typename R, typename... A>
constexpr bool canFail(const HostCall<R(A...)>&) {
  return std::is_pointer_v<R> || std::is_signed_v<R>;
}

template <typename R, typename... A>
void putFaultIn(HostCall<R(A...)>& entry) {
  if constexpr (std::is_pointer_v<R> || std::is_signed_v<R>) {
    Faulty<R(A...)>::real = entry.function();
    entry = &Faulty<R(A...)>::call;
  }
}

void armFault(const Fault& fault) {
  gState = FaultState{fault, fault.entry == "close" || fault.entry == "closedir", 0};
  forEachHostCall(hostCalls(), [&](auto& entry) {
    if (fault.entry == entry.name()) putFaultIn(entry);
  });
}

// Every entry a failure can be injected into: those whose result can say
// "failed" (free, umask and getuid cannot; getpid never fails).
std::vector<std::string> failableEntries() {
  std::vector<std::string> names;
  HostCalls all = realHostCalls();
  forEachHostCall(all, [&](auto& entry) {
    if (canFail(entry) && std::string(entry.name()) != "getpid") names.push_back(entry.name());
  });
  return names;
}

// What each entry fails with: EIO for all; a full card for what writes;
// an interrupted call (once only: a retry loop would meet it for ever) for
// what can block; no memory for the allocators.
std::vector<std::pair<int, bool>> faultsFor(const std::string& entry) {
  static const std::set<std::string> writes = {"open", "write", "pwrite", "ftruncate", "fsync",
                                               "fdatasync", "mkdir", "rename", "link"};
  static const std::set<std::string> interruptible = {"open", "read", "write", "pread", "pwrite",
                                                      "close", "ioctl", "tcsetattr", "flock",
                                                      "poll"};
  if (entry == "malloc" || entry == "calloc") return {{ENOMEM, false}, {ENOMEM, true}};
  std::vector<std::pair<int, bool>> faults = {{EIO, false}, {EIO, true}};
  if (writes.count(entry)) faults.insert(faults.end(), {{ENOSPC, false}, {ENOSPC, true}});
  if (interruptible.count(entry)) faults.push_back({EINTR, false});
  return faults;
}

std::string describe(const Fault& f) {
  char text[160];
  snprintf(text, sizeof text, "%s fails at call %d with %s%s", f.entry.c_str(), f.nth,
           strerrorname_np(f.error), f.persistent ? " and from then on" : " once");
  return text;
}

// ---- One step: a tick under the fault, a photo rewrite under it, a clean tick

struct StepResult {
  bool portOpened = false;
  std::string dayAfterFirstTick;  // the burst day's log
  std::string day;                // ... after the clean tick that follows
  std::string photoDay;           // the photo day's log
  std::string photo;
  bool tempLeft = false;
  int result = 0;  // insertGpsIfd's
  TagOutcome outcome = TagOutcome::Tagged;
  std::string failureNote;  // the host failure behind the rewrite's last error
  int calls = 0;            // of the faulty entry
};

class HostCallSweep : public ::testing::Test {
 protected:
  void SetUp() override {
    resetHostCalls();
    setModuleResources(&programResources());
    original = dataFile("photos/Canon_DIGITAL_IXUS_400.jpg");
    ASSERT_FALSE(original.empty()) << "tests/data/photos is missing";
    std::vector<std::string> bursts = captureBursts(std::string(VT_SOURCE_DIR) + "/tests/data/nmea/gpslim236.log");
    ASSERT_GE(bursts.size(), 6u);
    firstBurst = bursts[0] + bursts[1] + bursts[2];
    secondBurst = bursts[3] + bursts[4] + bursts[5];
    // The day so far, and a record torn by a power cut at its end.
    for (int32_t s : {67000, 67001, 67002}) prior += recordBytes({s, 4854.0f, 'N', 219.0f, 'E'});
    tornTail = recordBytes({67003}).substr(0, 5);
  }

  StepResult runStep(const Fault* fault) {
    StepResult r;
    resetSharedState();
    resetGpsIntake();
    resetTrackLog();
    TempDeviceImage image;
    PtyReceiver receiver;
    EXPECT_TRUE(receiver.ok() && receiver.linkAsCom1(image.root()));
    ::mkdir(image.path("ResidentFlash/vellumtrace").c_str(), 0777);
    writeWholeFile(logPath(image, kBurstDay), prior + tornTail);
    writeTrackLog(image, kPhotoDay, {{kPhotoFixSeconds - 4}, {kPhotoFixSeconds, 4851.5f, 'N', 221.25f, 'E'}});
    ::mkdir(image.path("SDMMC/DCIM").c_str(), 0777);
    ::mkdir(image.path("SDMMC/DCIM/100CAM").c_str(), 0777);
    writeWholeFile(image.path("SDMMC/DCIM/100CAM/IMG_0001.JPG"), original);
    send(receiver, firstBurst);

    if (fault) armFault(*fault);
    LPCWSTR failureText = nullptr;
    gpsWorker.port = openGpsPort(&failureText);
    r.portOpened = gpsWorker.port != nullptr;
    if (r.portOpened) runGpsTick();
    SetLastError(ERROR_SUCCESS);
    r.result = insertGpsIfd(kPhotoName);
    r.outcome = lastTagOutcome();
    r.failureNote = hostFailureNote();
    r.calls = gState.calls;
    resetHostCalls();

    r.dayAfterFirstTick = readWholeFile(logPath(image, kBurstDay));
    if (r.portOpened) {
      send(receiver, secondBurst);
      runGpsTick();
    }
    closeTrackLogAtExit();
    if (gpsWorker.port) CloseHandle(gpsWorker.port);
    gpsWorker.port = nullptr;
    r.day = readWholeFile(logPath(image, kBurstDay));
    r.photoDay = readWholeFile(logPath(image, kPhotoDay));
    r.photo = readWholeFile(image.path("SDMMC/DCIM/100CAM/IMG_0001.JPG"));
    r.tempLeft = fileExists(image.path("SDMMC/DCIM/vellumtrace-tagging.tmp"));
    return r;
  }

  // Sends a burst and waits until it has arrived at the port (behind what a
  // failed read left there).
  static void send(PtyReceiver& receiver, const std::string& bytes) {
    const int expected = receiver.unread() + static_cast<int>(bytes.size());
    ASSERT_TRUE(receiver.send(bytes));
    for (int i = 0; i < 500 && receiver.unread() < expected; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(expected, receiver.unread());
  }

  std::string original, firstBurst, secondBurst, prior, tornTail;
};

TEST_F(HostCallSweep, NoSingleFailingCallCostsTheDayLogOrThePhoto) {
  const StepResult clean = runStep(nullptr);
  // The clean run: the torn record cut off, both bursts logged, the photo tagged.
  ASSERT_TRUE(clean.portOpened);
  ASSERT_EQ(clean.result, 0) << tagOutcomeReason(clean.outcome) << clean.failureNote;
  ASSERT_GT(clean.photo.size(), original.size());
  const std::string afterFirst = clean.dayAfterFirstTick;
  ASSERT_GT(afterFirst.size(), prior.size());
  ASSERT_EQ(afterFirst.compare(0, prior.size(), prior), 0);
  ASSERT_GT(clean.day.size(), afterFirst.size());
  ASSERT_EQ(clean.day.compare(0, afterFirst.size(), afterFirst), 0);
  const std::string secondRecords = clean.day.substr(afterFirst.size());
  {
    // exiftool, reading independently, finds the fix in the clean copy.
    std::string dir = makeTempDir("vt-sweep");
    writeWholeFile(dir + "/tagged.jpg", clean.photo);
    EXPECT_EQ(commandOutput("exiftool -n -s3 -GPSLatitude -GPSLongitude '" + dir + "/tagged.jpg'"),
              "48.8583333333333\n2.35416666666667\n");
    removeTree(dir);
  }

  auto start = std::chrono::steady_clock::now();
  int cutPoints = 0, entriesReached = 0, reportedFailedButTagged = 0;
  for (const std::string& entry : failableEntries()) {
    bool reached = false;
    for (auto [error, persistent] : faultsFor(entry)) {
      for (int nth = 1;; ++nth) {
        const Fault fault{entry, nth, error, persistent};
        const StepResult got = runStep(&fault);
        if (got.calls < nth) break;  // the step never made that call
        reached = true;
        ++cutPoints;
        SCOPED_TRACE(describe(fault) + "; the rewrite said " + tagOutcomeReason(got.outcome) +
                     got.failureNote);

        // The day log: untouched when the port never opened (the worker
        // ends); else whole records, those before the fault a prefix of the
        // clean run's, and the next tick's appended after them.
        if (!got.portOpened) {
          EXPECT_EQ(got.day, prior + tornTail);
        } else {
          bool endsWithSecond = got.day.size() >= secondRecords.size() &&
                                got.day.compare(got.day.size() - secondRecords.size(),
                                                std::string::npos, secondRecords) == 0;
          EXPECT_TRUE(endsWithSecond) << "the clean tick after the fault did not log its fixes";
          std::string head = got.day.substr(0, got.day.size() - std::min(got.day.size(), secondRecords.size()));
          EXPECT_EQ(head.size() % 14, 0u) << "a partial record in the day log";
          EXPECT_GE(head.size(), prior.size()) << "records of the day were lost";
          EXPECT_LE(head.size(), afterFirst.size());
          EXPECT_EQ(afterFirst.compare(0, head.size(), head), 0) << "the day log differs from a clean run's";
        }
        EXPECT_EQ(got.photoDay, clean.photoDay) << "the photo's day log was changed";

        // The photo: the original or the whole tagged copy, and tagged
        // whenever the rewrite says so.
        bool untouched = got.photo == original, tagged = got.photo == clean.photo;
        EXPECT_TRUE(untouched || tagged) << "the photo is neither the original nor the tagged copy ("
                                         << got.photo.size() << " bytes)";
        EXPECT_TRUE(got.result != 0 || tagged) << "reported tagged, but the photo is not";
        if (got.result != 0 && tagged) ++reportedFailedButTagged;
        // The temporary file is cleared away, unless deleting it is what fails.
        EXPECT_TRUE(!got.tempLeft || (persistent && entry == "unlink")) << "the tagged copy left on the card";
        if (HasFailure()) return;
      }
    }
    entriesReached += reached;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  printf("[ sweep    ] %d cut points in %d entries, %.1f s; %d rewrites reported failed after the "
         "tagged copy was in place\n",
         cutPoints, entriesReached, seconds, reportedFailedButTagged);
  EXPECT_GT(entriesReached, 15);
}

}  // namespace
