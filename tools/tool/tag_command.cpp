// vellumtrace-tool tag: geotags photos of a device image's card with the same
// insertGpsIfd and findTrackFix as the device, in the order given and with no
// pacing, and tells for each photo whether it was tagged and, if not, why.
// The camera clock may be set to another zone than the device's (--offset);
// a dry run shows the fix each photo would get and changes nothing. The exit
// status is 1 when a photo could not be written, so that a script sees it;
// photos whose contents or log say no are not failures of the run.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "app/state/shared_state.h"
#include "card/photo_discovery.h"
#include "card/photo_list.h"
#include "geotag/gps_insert.h"
#include "geotag/tag_outcome.h"
#include "platform/core/errors.h"
#include "platform/kernel/device_image.h"
#include "platform/core/wide_text.h"
#include "geotag/track_lookup.h"
#include "tools/tool/commands.h"
#include "tools/tool/tool_options.h"
#include "tools/tool/day_logs.h"
#include "ui/closing_message.h"

namespace {

const char kTagUsage[] =
    "usage: vellumtrace-tool tag [--root DIR] [--card-mount DIR] [--offset +HH:MM] [--dry-run]\n"
    "                            [--] [PHOTO...]\n"
    "  --card-mount where a real card is mounted (default DIR/SDMMC)\n"
    "  --offset  how far the camera clock runs ahead of UTC (default +03:00)\n"
    "  --dry-run for each photo the fix it would get, as\n"
    "            would-tag PHOTO FIX-TIME LATITUDE LONGITUDE PHOTO-MINUS-FIX;\n"
    "            nothing is written\n"
    "Exit status 1 when a photo could not be opened or written.\n";

// The reasons that mean the photo itself could not be read or written, as
// against a photo whose contents or log give nothing to write.
bool notWritable(const char* reason) {
  for (const char* r : {"not-on-card", "cannot-open", "read-only", "temp-in-use", "write-failed"})
    if (!strcmp(reason, r)) return true;
  return false;
}

// The fix a dry run found: the photo's date, the record's time, its degrees
// and how far the photo's UTC time lies from it.
void printWouldTag(const std::string& photo) {
  // The fix's own UTC date, which may be the day before the photo's or after.
  char dt[kDateTimeTextBytes];
  if (!shiftedDayOf(shared.exifDateTime, matchedDay(), dt)) memcpy(dt, shared.exifDateTime, sizeof dt);
  char time[9] = "";
  formatDayTime(matchedRecordSeconds(), time);
  double lat = 0, lon = 0;
  latitudeDegrees(shared.matchLatitude, shared.matchLatRef, &lat);
  longitudeDegrees(shared.matchLongitude, shared.matchLonRef, &lon);
  printf("would-tag\t%s\t%.4s-%.2s-%.2sT%sZ\t%.7f\t%.7f\t%+ds\n", photo.c_str(), dt, dt + 5, dt + 8, time, lat,
         lon, matchedPhotoDifference());
}

int usageError(const char* why) {
  if (why) fprintf(stderr, "vellumtrace-tool tag: %s\n", why);
  fputs(kTagUsage, stderr);
  return 2;
}

std::string absolute(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The CE name of a photo given as a CE path (\SDMMC\DCIM\...) or as a host
// path inside the card's folder (DIR/SDMMC/..., or --card-mount); empty when the path
// lies elsewhere.
std::u16string ceNameOf(const std::string& photo, const std::string& cardFolder) {
  if (!photo.empty() && photo[0] == '\\') return utf16FromUtf8(photo);
  const std::string card = absolute(cardFolder) + "/";
  const std::string host = absolute(photo);
  if (host.compare(0, card.size(), card) != 0) return {};
  std::string ce = "\\SDMMC\\" + host.substr(card.size());
  for (char& c : ce)
    if (c == '/') c = '\\';
  return utf16FromUtf8(ce);
}

}  // namespace

int tagCommand(int argc, char** argv) {
  std::string root;
  std::vector<std::string> photos;
  bool dryRun = false;
  for (int i = 0; i < argc; i++) {
    std::string value;
    int got = optionValue("tag", argc, argv, &i, "--root", &root);
    if (got == 0 && (got = optionValue("tag", argc, argv, &i, "--card-mount", &value)) > 0)
      setCardMountPath(value);
    if (got == 0 && (got = optionValue("tag", argc, argv, &i, "--offset", &value)) > 0) {
      int32_t offset = 0;
      if (!parseClockOffset(value.c_str(), &offset)) return usageError("--offset needs +HH:MM or -HH:MM");
      setCameraClockAheadOfUtc(offset);
    }
    if (got < 0) return usageError(nullptr);
    if (got > 0) continue;
    if (!strcmp(argv[i], "--dry-run")) {
      dryRun = true;
      continue;
    }
    if (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h")) {
      fputs(kTagUsage, stdout);
      return 0;
    }
    // After "--" every word is a photo, also one that starts with a dash.
    if (!strcmp(argv[i], "--")) {
      photos.insert(photos.end(), argv + i + 1, argv + argc);
      break;
    }
    if (isOption(argv[i])) return usageError((std::string("unknown option ") + argv[i]).c_str());
    photos.push_back(argv[i]);
  }
  if (useDeviceImage("tag", root) != 0) return 1;
  if (photos.empty()) {
    // The whole card, in the order a batch takes it: from the list's head.
    discoverPhotos();
    for (PhotoEntry* e = shared.photoList.load(); e; e = e->next) photos.push_back(utf8FromUtf16(e->path));
  }

  int tagged = 0;
  bool unwritten = false;
  for (const std::string& photo : photos) {
    std::u16string ce = ceNameOf(photo, hostPathFor(u"\\SDMMC"));
    if (ce.empty()) {
      printf("skipped\t%s\tnot-on-card\n", photo.c_str());
      unwritten = true;
      continue;
    }
    SetLastError(ERROR_SUCCESS);  // what a failure reports is this photo's
    if ((dryRun ? previewGpsIfd(ce.c_str()) : insertGpsIfd(ce.c_str())) == 0) {
      tagged++;
      if (dryRun)
        printWouldTag(photo);
      else
        printf("tagged\t%s\n", photo.c_str());
      continue;
    }
    TagOutcome outcome = lastTagOutcome();
    if (notWritable(tagOutcomeReason(outcome))) unwritten = true;
    printf("skipped\t%s\t%s\n", photo.c_str(), tagOutcomeReason(outcome));
    fflush(stdout);
    const std::string name = utf8FromUtf16(ce);
    if (outcome == TagOutcome::CannotOpen) reportHostFailure("cannot open " + name);
    if (outcome == TagOutcome::TempInUse || outcome == TagOutcome::WriteFailed)
      reportHostFailure("cannot write the tagged copy of " + name);
  }
  if (dryRun) {
    printf("dry run: %d of %zu photos would be tagged; nothing was changed\n", tagged, photos.size());
  } else {
    WCHAR closing[256];
    closingMessage(tagged, static_cast<int>(photos.size()), false, closing, 256);
    printf("%s\n", utf8FromUtf16(closing).c_str());
  }
  return unwritten ? 1 : 0;
}
