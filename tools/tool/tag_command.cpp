// vellumtrace-tool tag: geotags photos of a device image's card with the same
// insertGpsIfd and findTrackFix as the device, in the order given and with no
// pacing, and tells for each photo whether it was tagged and, if not, why.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
#include "tools/tool/commands.h"
#include "tools/tool/tool_options.h"
#include "ui/closing_message.h"

namespace {

const char kTagUsage[] =
    "usage: vellumtrace-tool tag [--root DIR] [--] [PHOTO...]\n"
    "Geotags the named photos of the device image's card (all of them when none\n"
    "is named) from its track logs, and prints for each whether it was tagged.\n";

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
// path inside the device image's card (DIR/SDMMC/...); empty when the path
// lies elsewhere.
std::u16string ceNameOf(const std::string& photo, const std::string& root) {
  if (!photo.empty() && photo[0] == '\\') return utf16FromUtf8(photo);
  const std::string card = absolute(root + "/SDMMC") + "/";
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
  for (int i = 0; i < argc; i++) {
    int got = optionValue("tag", argc, argv, &i, "--root", &root);
    if (got < 0) return usageError(nullptr);
    if (got > 0) continue;
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
  for (const std::string& photo : photos) {
    std::u16string ce = ceNameOf(photo, root);
    if (ce.empty()) {
      printf("skipped\t%s\tnot-on-card\n", photo.c_str());
      continue;
    }
    SetLastError(ERROR_SUCCESS);  // what a failure reports is this photo's
    if (insertGpsIfd(ce.c_str()) == 0) {
      tagged++;
      printf("tagged\t%s\n", photo.c_str());
      continue;
    }
    TagOutcome outcome = lastTagOutcome();
    printf("skipped\t%s\t%s\n", photo.c_str(), tagOutcomeReason(outcome));
    fflush(stdout);
    const std::string name = utf8FromUtf16(ce);
    if (outcome == TagOutcome::CannotOpen) reportHostFailure("cannot open " + name);
    if (outcome == TagOutcome::TempInUse || outcome == TagOutcome::WriteFailed)
      reportHostFailure("cannot write the tagged copy of " + name);
  }
  WCHAR closing[256];
  closingMessage(tagged, static_cast<int>(photos.size()), false, closing, 256);
  printf("%s\n", utf8FromUtf16(closing).c_str());
  return 0;
}
