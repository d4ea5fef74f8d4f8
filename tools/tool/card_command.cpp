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

int cardCommand(int argc, char** argv) {
  std::string root = defaultDeviceRoot();
  for (int i = 0; i < argc; ++i) {
    if (!strcmp(argv[i], "--root") && i + 1 < argc) {
      root = argv[++i];
    } else if (!strcmp(argv[i], "--card-device") && i + 1 < argc) {
      setCardDevicePath(argv[++i]);
    } else if (!strcmp(argv[i], "--card-mount") && i + 1 < argc) {
      setCardMountPath(argv[++i]);
    } else if (!strcmp(argv[i], "--sysfs") && i + 1 < argc) {
      setSysfsRoot(argv[++i]);
    } else {
      fprintf(stderr,
              "usage: vellumtrace-tool card [--root DIR] [--card-device DEV] [--card-mount DIR]\n"
              "                             [--sysfs DIR]\n"
              "Prints the identity of the card in the device image's slot, its size and\n"
              "free space in KiB, and its photos in the order a batch tags them.\n");
      return strcmp(argv[i], "--help") ? 2 : 0;
    }
  }
  setDeviceRoot(root);
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
