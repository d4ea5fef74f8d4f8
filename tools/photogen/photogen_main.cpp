// photogen: writes camera-like test photos whose EXIF DateTimeOriginal
// matches the fixes of a receiver capture (three hours ahead of UTC, as the
// cameras the tagger expects are set), or a given start time.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "tools/photogen/camera_photo.h"
#include "tools/photogen/nmea_fixes.h"

namespace {

const char kUsage[] =
    "usage: photogen --out DIR (--nmea CAPTURE | --time \"YYYY:MM:DD HH:MM:SS\")\n"
    "                [--count N] [--interval S] [--width W] [--height H]\n"
    "                [--quality Q] [--noise 0-255] [--jfif] [--prefix IMG_] [--first 1]\n"
    "\n"
    "  --nmea CAPTURE  one photo per chosen fix of the capture ($GPRMC, status A,\n"
    "                  dated), spread evenly over it; camera time = fix + 3 h\n"
    "  --time T        camera time of the first photo; --interval S apart (10)\n"
    "  --count N       number of photos (default 5)\n"
    "Names are PREFIX + four digits + .JPG; each line printed is a file and its time.\n";

std::string addSeconds(const std::string& cameraTime, int seconds) {
  tm t = {};
  if (sscanf(cameraTime.c_str(), "%d:%d:%d %d:%d:%d", &t.tm_year, &t.tm_mon, &t.tm_mday,
             &t.tm_hour, &t.tm_min, &t.tm_sec) != 6)
    return {};
  t.tm_year -= 1900;
  t.tm_mon -= 1;
  t.tm_sec += seconds;
  const time_t when = timegm(&t);
  tm out;
  gmtime_r(&when, &out);
  char text[80];
  snprintf(text, sizeof text, "%04d:%02d:%02d %02d:%02d:%02d", out.tm_year + 1900, out.tm_mon + 1,
           out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  std::string out, nmea, time;
  int count = 5, interval = 10, first = 1;
  std::string prefix = "IMG_";
  PhotoSpec spec;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    auto next = [&]() -> std::string { return hasValue ? argv[++i] : std::string(); };
    if (a == "--help" || a == "-h") {
      fputs(kUsage, stdout);
      return 0;
    } else if (a == "--jfif") {
      spec.jfifFirst = true;
    } else if (!hasValue) {
      fprintf(stderr, "photogen: missing value for %s\n%s", a.c_str(), kUsage);
      return 2;
    } else if (a == "--out") {
      out = next();
    } else if (a == "--nmea") {
      nmea = next();
    } else if (a == "--time") {
      time = next();
    } else if (a == "--count") {
      count = atoi(next().c_str());
    } else if (a == "--interval") {
      interval = atoi(next().c_str());
    } else if (a == "--width") {
      spec.width = atoi(next().c_str());
    } else if (a == "--height") {
      spec.height = atoi(next().c_str());
    } else if (a == "--quality") {
      spec.quality = atoi(next().c_str());
    } else if (a == "--noise") {
      spec.noise = atoi(next().c_str());
    } else if (a == "--prefix") {
      prefix = next();
    } else if (a == "--first") {
      first = atoi(next().c_str());
    } else {
      fprintf(stderr, "photogen: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (out.empty() || nmea.empty() == time.empty() || count < 1 || count > 9999 ||
      first < 0 || first + count > 10000 || prefix.size() > 4) {
    fputs(kUsage, stderr);
    return 2;
  }

  std::vector<std::string> times;
  if (!nmea.empty()) {
    const std::vector<CaptureFix> fixes = readCaptureFixes(nmea);
    if (fixes.empty()) {
      fprintf(stderr, "photogen: no dated fix in %s\n", nmea.c_str());
      return 1;
    }
    for (int k = 0; k < count; ++k) {
      // Spread over the capture, away from its two ends.
      const size_t at = fixes.size() * (2 * k + 1) / (2 * static_cast<size_t>(count));
      times.push_back(cameraTimeOf(fixes[at]));
    }
  } else {
    for (int k = 0; k < count; ++k) times.push_back(addSeconds(time, k * interval));
    if (times[0].empty()) {
      fprintf(stderr, "photogen: bad --time '%s'\n", time.c_str());
      return 2;
    }
  }

  mkdir(out.c_str(), 0777);
  for (int k = 0; k < count; ++k) {
    spec.dateTimeOriginal = times[k];
    spec.seed = static_cast<uint32_t>(first + k);
    const std::string photo = makeCameraPhoto(spec);
    char name[16];
    snprintf(name, sizeof name, "%s%04d.JPG", prefix.c_str(), first + k);
    const std::string path = out + "/" + name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << photo;
    if (photo.empty() || !file) {
      fprintf(stderr, "photogen: cannot write %s\n", path.c_str());
      return 1;
    }
    printf("%s %s\n", path.c_str(), times[k].c_str());
  }
  return 0;
}
