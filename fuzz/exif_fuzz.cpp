// Fuzzes the geotagger with whole photo files: segment walking, the TIFF
// reads, the offset moves and the rewrite. Each input is put on the card of
// a device image whose day log has a fix for every second of 5 June 2010, and
// tagged. Whatever the input, the photo afterwards is either byte for byte the
// input or a tagged copy, no shorter, that reads as geotagged, and no
// temporary file is left. The seeds (fuzz/corpus/exif_fuzz) hold photos of
// both byte orders, with and without IFD1, with a JPEG or a strip thumbnail.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "app/state/shared_state.h"
#include "geotag/gps_insert.h"
#include "geotag/tag_outcome.h"
#include "gps/track_record.h"
#include "platform/kernel/device_image.h"

namespace {

std::string root;
std::string photoPath;
const char16_t kPhoto[] = u"\\SDMMC\\DCIM\\100CAM\\FUZZ.JPG";

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeAll(const std::string& path, const uint8_t* data, size_t size) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (size && fwrite(data, 1, size, f) != size) abort();
  fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  struct stat st;
  std::string base = stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp";
  char templ[64];
  snprintf(templ, sizeof templ, "%s/vt-exif-fuzz-XXXXXX", base.c_str());
  if (!mkdtemp(templ)) abort();
  root = templ;
  // The image goes when the run ends.
  atexit([] {
    if (system(("rm -rf '" + root + "'").c_str()) != 0) fprintf(stderr, "could not remove %s\n", root.c_str());
  });
  setDeviceRoot(root);
  if (!prepareDeviceImage()) abort();
  mkdir((root + "/SDMMC/DCIM").c_str(), 0777);
  mkdir((root + "/SDMMC/DCIM/100CAM").c_str(), 0777);
  std::string log;
  for (int32_t s = 0; s < 86400; s++) {
    BYTE r[kTrackRecordBytes];
    encodeTrackRecord(TrackRecord{s, 5545.1234f, 'N', 3737.5678f, 'E'}, r);
    log.append(reinterpret_cast<const char*>(r), sizeof r);
  }
  WCHAR day[64];
  trackLogPath("050610", day, 64);
  mkdir(hostPathFor(kTrackLogFolder).c_str(), 0777);
  writeAll(hostPathFor(day), reinterpret_cast<const uint8_t*>(log.data()), log.size());
  photoPath = root + "/SDMMC/DCIM/100CAM/FUZZ.JPG";
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  writeAll(photoPath, data, size);
  const int result = insertGpsIfd(kPhoto);
  const std::string after = readAll(photoPath);
  struct stat st;
  if (stat((root + "/SDMMC/DCIM/vellumtrace-tagging.tmp").c_str(), &st) == 0) abort();
  if (result != 0) {
    if (after.size() != size || memcmp(after.data(), data, size) != 0) abort();
    return 0;
  }
  // 127 bytes longer (the inserted layout), as long (the appended layout in
  // the APP1's free zeros) or longer by the new directories.
  if (after.size() < size) abort();
  // The copy must read as geotagged, and be left alone the second time.
  if (insertGpsIfd(kPhoto) != -1 || lastTagOutcome() != TagOutcome::AlreadyGeotagged) abort();
  if (readAll(photoPath) != after) abort();
  return 0;
}
