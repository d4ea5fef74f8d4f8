// The geotagger's cost against the least a durable rewrite costs and against
// exiftool, side by side in one run; and the track lookup over a full day.
//
//   BM_TagPhotos        insertGpsIfd over 30 photos of 5 MB (a camera header,
//                       then a large APP2 filler, so the layout is real)
//   BM_TagPhotosWithoutFlush  the same with the flushes made no-ops
//   BM_DurableCopy      the same files copied in the kernel (copy_file_range),
//                       fsync'd, renamed over themselves, the folder fsync'd
//   BM_Exiftool         one exiftool -geotag run over the same photos with the
//                       same full day as an NMEA log, the camera at UTC+3
//   BM_FindTrackFix     a day's log of 86,400 records, the match at the end
// bench/geotag_compare.sh runs it and prints the ratios.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/state/shared_state.h"
#include "geotag/gps_insert.h"
#include "geotag/track_lookup.h"
#include "gps/track_record.h"
#include "platform/kernel/device_image.h"
#include "platform/core/host_calls.h"
#include "platform/core/wide_text.h"
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

  Card() {
    ::mkdir(image.path("SDMMC/DCIM").c_str(), 0777);
    ::mkdir(image.path("SDMMC/DCIM/100CAM").c_str(), 0777);
    CraftSpec s = cameraSpec("2010:06:05 14:30:07");
    // APP2 segments of the largest size fill the photo after its EXIF block.
    std::string filler;
    while (filler.size() + 65537 < kPhotoBytes) {
      filler += std::string("\xFF\xE2\xFF\xFF", 4);
      for (int i = 0; i < 65533; i++) filler += static_cast<char>(i * 31 + filler.size());
    }
    s.scan = filler + s.scan;
    original = craftJpeg(s);
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
    sync();
  }
};

Card& card() {
  static Card c;
  return c;
}

void BM_TagPhotos(benchmark::State& state) {
  Card& c = card();
  std::vector<std::u16string> names;
  for (int i = 0; i < kPhotos; i++) {
    char name[64];
    snprintf(name, sizeof name, "\\SDMMC\\DCIM\\100CAM\\IMG_%04d.JPG", i + 1);
    names.push_back(utf16FromUtf8(name));
  }
  for (auto _ : state) {
    state.PauseTiming();
    c.restore();
    state.ResumeTiming();
    for (const std::u16string& n : names)
      if (insertGpsIfd(n.c_str()) != 0) state.SkipWithError("a photo was not tagged");
  }
}

// The tagger's own work, with the flushes made no-ops: what it costs beside
// the storage, for comparison with exiftool, which does not flush.
void BM_TagPhotosWithoutFlush(benchmark::State& state) {
  HostCallsOverride guard;
  hostCalls().fsync = [](int) { return 0; };
  BM_TagPhotos(state);
}

void durableCopy(const std::string& path) {
  std::string tmp = path + ".tmp";
  int in = open(path.c_str(), O_RDONLY);
  int out = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  struct stat st;
  fstat(in, &st);
  for (off_t left = st.st_size; left > 0;) {
    ssize_t n = copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(left), 0);
    if (n <= 0) abort();
    left -= n;
  }
  fsync(out);
  close(out);
  close(in);
  rename(tmp.c_str(), path.c_str());
  int dir = open(path.substr(0, path.rfind('/')).c_str(), O_RDONLY | O_DIRECTORY);
  fsync(dir);
  close(dir);
}

void BM_DurableCopy(benchmark::State& state) {
  Card& c = card();
  for (auto _ : state) {
    state.PauseTiming();
    c.restore();
    state.ResumeTiming();
    for (const std::string& f : c.files) durableCopy(f);
  }
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
BENCHMARK(BM_Exiftool)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FindTrackFix)->Unit(benchmark::kMicrosecond)->UseRealTime();
