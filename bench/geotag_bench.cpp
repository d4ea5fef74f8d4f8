// The geotagger's cost against the least a durable rewrite costs and against
// exiftool; and the track lookup over a full day.
//
//   BM_TagPhotos        insertGpsIfd over 30 photos of 5 MB (a camera header,
//                       then a large APP2 filler, so the layout is real), with
//                       the time and count of each host call as counters
//   BM_TagPhotosWithoutFlush  the same with the flushes made no-ops
//   BM_DurableCopy      the same files copied in the kernel (copy_file_range),
//                       fsync'd, renamed over themselves, the folder fsync'd
//   BM_TaggerBesideDurableRewrites  the tagger on the plain photos (the
//                       inserted layout) and on the same with a maker note
//                       (the appended layout), that copy and the same copy
//                       with 127 bytes put in, photo by photo in turn, each on
//                       its own photos: the ratios the goal is stated in
//   BM_Exiftool         one exiftool -geotag run over the same photos with the
//                       same full day as an NMEA log, the camera at UTC+3
//   BM_FindTrackFix     a day's log of 86,400 records, the match at the end
// bench/geotag_compare.sh runs it and prints the ratios.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/state/shared_state.h"
#include "geotag/gps_insert.h"
#include "geotag/offset_relocation.h"
#include "geotag/track_lookup.h"
#include "gps/track_record.h"
#include "host_call_clock.h"
#include "platform/core/host_calls.h"
#include "platform/core/wide_text.h"
#include "platform/kernel/device_image.h"
#include "tests/geotag/crafted_jpeg.h"

namespace {

constexpr int kPhotos = 30;
constexpr size_t kPhotoBytes = 5 * 1024 * 1024;

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// A device image of its own in a temporary folder (on the disk, so that the
// flushes cost what they cost).
struct Image {
  std::string root;
  Image() {
    char templ[] = "/tmp/vt-geotag-bench-XXXXXX";
    if (!mkdtemp(templ)) abort();
    root = templ;
    setDeviceRoot(root);
    if (!prepareDeviceImage()) abort();
  }
  ~Image() {
    if (system(("rm -rf '" + root + "'").c_str()) != 0) fprintf(stderr, "could not remove %s\n", root.c_str());
  }
  std::string path(const std::string& relative) const { return root + "/" + relative; }
};

struct Card {
  Image image;
  std::string original;
  std::vector<std::string> files;
  // The same photos in a second folder, for the rewrites that run beside
  // the tagger's, photo by photo.
  std::vector<std::string> twins;
  // The same with a maker note, which the tagger never moves, in a third.
  std::string withNote;
  std::vector<std::string> noted;

  Card() {
    ::mkdir(image.path("SDMMC/DCIM").c_str(), 0777);
    ::mkdir(image.path("SDMMC/DCIM/100CAM").c_str(), 0777);
    ::mkdir(image.path("SDMMC/DCIM/101CAM").c_str(), 0777);
    ::mkdir(image.path("SDMMC/DCIM/102CAM").c_str(), 0777);
    CraftSpec s = cameraSpec("2010:06:05 14:30:07");
    // APP2 segments of the largest size fill the photo after its EXIF block.
    std::string filler;
    while (filler.size() + 65537 < kPhotoBytes) {
      filler += std::string("\xFF\xE2\xFF\xFF", 4);
      for (int i = 0; i < 65533; i++) filler += static_cast<char>(i * 31 + filler.size());
    }
    s.scan = filler + s.scan;
    original = craftJpeg(s);
    s.exif.push_back(CraftEntry{0x927C, 7, 16, 0, "maker note data!"});
    withNote = craftJpeg(s);
    // A full day's log, the photo's fix its last record.
    std::string day;
    for (int32_t i = 0; i < 86400; i++) {
      BYTE r[kTrackRecordBytes];
      encodeTrackRecord(TrackRecord{i == 86399 ? 41407 : i % 41000, 5545.1234f, 'N', 3737.5678f, 'E'}, r);
      day.append(reinterpret_cast<const char*>(r), sizeof r);
    }
    WCHAR log[64];
    trackLogPath("050610", log, 64);
    ::mkdir(hostPathFor(kTrackLogFolder).c_str(), 0777);
    writeFile(hostPathFor(log), day);
    for (int i = 0; i < kPhotos; i++) {
      char name[64];
      snprintf(name, sizeof name, "SDMMC/DCIM/100CAM/IMG_%04d.JPG", i + 1);
      files.push_back(image.path(name));
      snprintf(name, sizeof name, "SDMMC/DCIM/101CAM/IMG_%04d.JPG", i + 1);
      twins.push_back(image.path(name));
      snprintf(name, sizeof name, "SDMMC/DCIM/102CAM/IMG_%04d.JPG", i + 1);
      noted.push_back(image.path(name));
    }
  }
  // The same day as the receiver sent it, for exiftool -geotag.
  std::string nmea() {
    std::string path = image.path("day.nmea");
    std::string text;
    char line[128];
    for (int32_t i = 0; i < 86400; i++) {
      int32_t t = i == 86399 ? 41407 : i % 41000;
      char body[100];
      snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.00,A,5545.1234,N,03737.5678,E,0.0,0.0,050610,,,A",
               t / 3600, t / 60 % 60, t % 60);
      unsigned sum = 0;
      for (const char* p = body; *p; p++) sum ^= static_cast<unsigned char>(*p);
      snprintf(line, sizeof line, "$%s*%02X\r\n", body, sum);
      text += line;
    }
    writeFile(path, text);
    return path;
  }
  void restore() {
    for (const std::string& f : files) writeFile(f, original);
    for (const std::string& f : twins) writeFile(f, original);
    for (const std::string& f : noted) writeFile(f, withNote);
    sync();
  }
};

Card& card() {
  static Card c;
  return c;
}

// The photos as the tagger names them.
std::vector<std::u16string> photoNames(const char* folder = "100CAM") {
  std::vector<std::u16string> names;
  for (int i = 0; i < kPhotos; i++) {
    char name[64];
    snprintf(name, sizeof name, "\\SDMMC\\DCIM\\%s\\IMG_%04d.JPG", folder, i + 1);
    names.push_back(utf16FromUtf8(name));
  }
  return names;
}

void BM_TagPhotos(benchmark::State& state) {
  Card& c = card();
  const std::vector<std::u16string> names = photoNames();
  HostCallClock clock;
  for (auto _ : state) {
    state.PauseTiming();
    c.restore();
    state.ResumeTiming();
    for (const std::u16string& n : names)
      if (insertGpsIfd(n.c_str()) != 0) state.SkipWithError("a photo was not tagged");
  }
  clock.report(state);
}

// The tagger's own work, with the flushes made no-ops: what it costs beside
// the storage, for comparison with exiftool, which does not flush.
void BM_TagPhotosWithoutFlush(benchmark::State& state) {
  HostCallsOverride guard;
  hostCalls().fsync = [](int) { return 0; };
  BM_TagPhotos(state);
}

// Its calls go through the host-call table, so that they are timed as the
// tagger's; the in-kernel copy, which the layer does not use, is timed here.
host_call_clock::Total kernelCopy;

void durableCopy(const std::string& path) {
  HostCalls& host = hostCalls();
  std::string tmp = path + ".tmp";
  int in = host.open(path.c_str(), O_RDONLY, 0);
  int out = host.open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  struct stat st;
  host.fstat(in, &st);
  const auto start = std::chrono::steady_clock::now();
  for (off_t left = st.st_size; left > 0;) {
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(left), 0);
    if (n <= 0) abort();
    left -= n;
    kernelCopy.calls++;
  }
  kernelCopy.nanoseconds +=
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - start).count();
  host.fsync(out);
  host.close(out);
  host.close(in);
  host.rename(tmp.c_str(), path.c_str());
  int dir = host.open(path.substr(0, path.rfind('/')).c_str(), O_RDONLY | O_DIRECTORY, 0);
  host.fsync(dir);
  host.close(dir);
}

// The least durable rewrite that grows a photo as the tagger does: 127
// bytes put in after the EXIF block, so that everything after them lands 127
// bytes later than it lay, the body copied in the kernel (which no longer
// finds the source's alignment), then the flush, rename and folder flush.
void durableInsert(const std::string& path, off_t at) {
  std::string tmp = path + ".tmp";
  int in = open(path.c_str(), O_RDONLY);
  int out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  struct stat st;
  fstat(in, &st);
  static const char inserted[kInsertedBytes] = {};
  auto copy = [&](off_t size) {
    for (off_t left = size; left > 0;) {
      ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(left), 0);
      if (n <= 0) abort();
      left -= n;
    }
  };
  copy(at);
  if (write(out, inserted, sizeof inserted) != sizeof inserted) abort();
  copy(st.st_size - at);
  fsync(out);
  close(out);
  close(in);
  rename(tmp.c_str(), path.c_str());
  int dir = open(path.substr(0, path.rfind('/')).c_str(), O_RDONLY | O_DIRECTORY);
  fsync(dir);
  close(dir);
}

// Where the photo's APP1 segment ends.
off_t app1End(const std::string& jpeg) {
  for (size_t at = 2; at + 4 <= jpeg.size();) {
    const size_t length =
        static_cast<uint8_t>(jpeg[at + 2]) << 8 | static_cast<uint8_t>(jpeg[at + 3]);
    if (static_cast<uint8_t>(jpeg[at + 1]) == 0xE1) return static_cast<off_t>(at + 2 + length);
    at += 2 + length;
  }
  abort();
}

// The tagger and the least durable rewrites side by side: photo by photo in
// turn (each order in turn, so that none always follows another), each on
// its own copy of the photos, so that all meet the storage in the same
// state and the ratios come from one run. The counters are milliseconds for
// the 30 photos.
void BM_TaggerBesideDurableRewrites(benchmark::State& state) {
  Card& c = card();
  const std::vector<std::u16string> names = photoNames(), notedNames = photoNames("102CAM");
  const off_t insertAt = app1End(c.original);
  using Clock = std::chrono::steady_clock;
  struct Rewrite {
    const char* name;
    std::function<void(int photo)> run;
    Clock::duration total{};
  } rewrites[] = {
      {"tagger",
       [&](int i) {
         if (insertGpsIfd(names[i].c_str()) != 0) state.SkipWithError("a photo was not tagged");
       }},
      {"tagger, appended layout",
       [&](int i) {
         if (insertGpsIfd(notedNames[i].c_str()) != 0) state.SkipWithError("a photo was not tagged");
       }},
      {"durable copy", [&](int i) { durableCopy(c.twins[i]); }},
      {"durable insert", [&](int i) { durableInsert(c.twins[i], insertAt); }},
  };
  constexpr int kRewrites = sizeof rewrites / sizeof rewrites[0];
  for (auto _ : state) {
    state.PauseTiming();
    c.restore();
    state.ResumeTiming();
    for (int i = 0; i < kPhotos; i++) {
      for (int k = 0; k < kRewrites; k++) {
        Rewrite& r = rewrites[(i + k) % kRewrites];
        const auto start = Clock::now();
        r.run(i);
        r.total += Clock::now() - start;
      }
    }
  }
  for (const Rewrite& r : rewrites)
    state.counters[r.name] =
        std::chrono::duration<double, std::milli>(r.total).count() / state.iterations();
}

void BM_DurableCopy(benchmark::State& state) {
  Card& c = card();
  HostCallClock clock;
  kernelCopy = {};
  for (auto _ : state) {
    state.PauseTiming();
    c.restore();
    state.ResumeTiming();
    for (const std::string& f : c.files) durableCopy(f);
  }
  clock.report(state);
  state.counters["copy_file_range ms"] = kernelCopy.nanoseconds / 1e6 / state.iterations();
  state.counters["copy_file_range n"] = static_cast<double>(kernelCopy.calls) / state.iterations();
}

void BM_Exiftool(benchmark::State& state) {
  Card& c = card();
  std::string command = "exiftool -q -q -overwrite_original -geotag '" + c.nmea() +
                        "' '-geotime<${DateTimeOriginal}+03:00'";
  for (const std::string& f : c.files) command += " '" + f + "'";
  for (auto _ : state) {
    state.PauseTiming();
    c.restore();
    state.ResumeTiming();
    if (system(command.c_str()) != 0) state.SkipWithError("exiftool failed");
  }
  // Checked once, outside the timing: exiftool found the fix.
  if (system(("exiftool -q -q -s3 -GPSLatitude '" + c.files[0] + "' | grep -q 55").c_str()) != 0)
    state.SkipWithError("exiftool wrote no position");
}

void BM_FindTrackFix(benchmark::State& state) {
  card();
  memcpy(shared.exifDateTime, "2010:06:05 14:30:07", 20);
  for (auto _ : state)
    if (findTrackFix() != 0) state.SkipWithError("no match");
}

}  // namespace

BENCHMARK(BM_TagPhotos)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_TagPhotosWithoutFlush)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_DurableCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_TaggerBesideDurableRewrites)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_Exiftool)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FindTrackFix)->Unit(benchmark::kMicrosecond)->UseRealTime();
