// The card watcher's two costs: the check that runs twice a second for the
// life of the device while the same card stays in, and the discovery of a
// full card's photos. Run: build/bench/card_bench
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "card/photo_discovery.h"
#include "card/photo_list.h"
#include "platform/kernel/device_image.h"
#include "platform/core/host_calls.h"

namespace {

// A device image with a simulated card: identification 03 / 12AB00FF, and
// 100 subfolders of 100 photos each.
struct CardImage {
  std::string root;
  CardImage() {
    char templ[] = "/tmp/vt-card-bench-XXXXXX";
    root = mkdtemp(templ);
    setDeviceRoot(root);
    prepareDeviceImage();
    const unsigned char id[] = {21, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0, 17, 0, 0, 0, 0x03, 0x12, 0xAB, 0x00, 0xFF};
    FILE* f = fopen((root + "/DSK2").c_str(), "wb");
    fwrite(id, 1, sizeof id, f);
    fclose(f);
    mkdir((root + "/SDMMC/DCIM").c_str(), 0777);
    char path[512];
    for (int d = 0; d < 100; ++d) {
      snprintf(path, sizeof path, "%s/SDMMC/DCIM/%03dPHOTO", root.c_str(), 100 + d);
      mkdir(path, 0777);
      for (int p = 0; p < 100; ++p) {
        snprintf(path, sizeof path, "%s/SDMMC/DCIM/%03dPHOTO/IMG_%04d.JPG", root.c_str(), 100 + d, p);
        fclose(fopen(path, "wb"));
      }
    }
  }
  ~CardImage() { system(("rm -rf '" + root + "'").c_str()); }
};

CardImage& cardImage() {
  static CardImage image;
  return image;
}

void BM_UnchangedCardCheck(benchmark::State& state) {
  cardImage();
  resetSharedState();
  checkCard();  // first sight: the card becomes the card last seen
  for (auto _ : state) checkCard();
  if (shared.photoCount.load() != 10000) state.SkipWithError("the card was not listed");
}
BENCHMARK(BM_UnchangedCardCheck)->Unit(benchmark::kMicrosecond);

void BM_DiscoverTenThousandPhotosInAHundredFolders(benchmark::State& state) {
  cardImage();
  resetSharedState();
  // Each run releases the list of the run before, as on the device.
  for (auto _ : state) discoverPhotos();
  if (shared.photoCount.load() != 10000) state.SkipWithError("not every photo was listed");
}
BENCHMARK(BM_DiscoverTenThousandPhotosInAHundredFolders)->Unit(benchmark::kMillisecond);

}  // namespace
