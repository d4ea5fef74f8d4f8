// vellumtrace-tool card: what the card watcher sees in a device image's slot:
// the card's identity, its size and free space, and the photo list in the
// order a batch would tag it.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "card/photo_discovery.h"
#include "card/photo_list.h"
#include "platform/core/errors.h"
#include "platform/kernel/device_image.h"
#include "platform/kernel/storage.h"
#include "platform/core/wide_text.h"
#include "tools/tool/commands.h"
#include "tools/tool/tool_options.h"

const char kCardUsage[] =
    "usage: vellumtrace-tool card [--root DIR] [--card-device DEV] [--card-mount DIR]\n"
    "                             [--sysfs DIR]\n"
    "Prints the identity of the card in the device image's slot, its size and\n"
    "free space in KiB, and its photos in the order a batch tags them.\n";

int cardCommand(int argc, char** argv) {
  std::string root, sysfs;
  for (int i = 0; i < argc; ++i) {
    std::string device, mount;
    int got = optionValue("card", argc, argv, &i, "--root", &root);
    if (got == 0) got = optionValue("card", argc, argv, &i, "--sysfs", &sysfs);
    if (got == 0) got = optionValue("card", argc, argv, &i, "--card-device", &device);
    if (got == 0) got = optionValue("card", argc, argv, &i, "--card-mount", &mount);
    if (got > 0) {
      if (!device.empty()) setCardDevicePath(device);
      if (!mount.empty()) setCardMountPath(mount);
      continue;
    }
    const bool help = got == 0 && (!strcmp(argv[i], "--help") || !strcmp(argv[i], "-h"));
    if (got == 0 && !help)
      fprintf(stderr, "vellumtrace-tool card: unknown %s %s\n", isOption(argv[i]) ? "option" : "argument",
              argv[i]);
    fputs(kCardUsage, help ? stdout : stderr);
    return help ? 0 : 2;
  }
  if (!sysfs.empty()) setSysfsRoot(sysfs);
  if (useDeviceImage("card", root) != 0) return 1;
  if (!readCardIdentity()) {
    printf("identity: none (no card in the slot)\n");
    fflush(stdout);
    reportHostFailure("cannot read the card identity");
    return 1;
  }
  printf("identity: %s\n", utf8FromUtf16(shared.cardIdentity).c_str());
  if (!cardFolderMounted()) {
    // What the card watcher waits for before it takes the card as in.
    printf("files: not mounted at %s\n", hostPathFor(u"\\SDMMC").c_str());
    return 1;
  }
  ULARGE_INTEGER total{}, free{};
  if (!GetDiskFreeSpaceExW(u"SDMMC", nullptr, &total, &free))
    reportHostFailure("cannot measure the card");
  else
    printf("total: %llu KiB\nfree: %llu KiB\n", static_cast<unsigned long long>(total.QuadPart / 1024),
           static_cast<unsigned long long>(free.QuadPart / 1024));
  int result = discoverPhotos();
  printf("photos: %d%s\n", static_cast<int>(shared.photoCount.load()), result ? " (no DCIM entries)" : "");
  for (PhotoEntry* e = shared.photoList.load(); e; e = e->next) printf("%s\n", utf8FromUtf16(e->path).c_str());
  return 0;
}
