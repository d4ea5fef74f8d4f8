// The tagging screen's speed: a full paint, the paint of one batch tick
// (only the areas a tick invalidates), and whole batch ticks (tag + paint)
// over 5 MB photos, one after the other as the timer would run them.
//
//   build/bench/ui_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "app/state/shared_state.h"
#include "card/photo_list.h"
#include "gps/track_record.h"
#include "platform/ce.h"
#include "platform/kernel/device_image.h"
#include "tools/photogen/camera_photo.h"
#include "ui/batch_controller.h"
#include "ui/screen_paint.h"
#include "platform/user/message_queue.h"
#include "platform/user/paint.h"

namespace {

LRESULT benchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    paintMainWindow(window);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

std::string makeRoot() {
  char templ[] = "/tmp/vt-ui-bench-XXXXXX";
  if (!mkdtemp(templ)) abort();
  return templ;
}

// One device image and one maximised screen for the whole run.
HWND screen() {
  static HWND window = [] {
    setDeviceRoot(makeRoot());
    if (!prepareDeviceImage()) abort();
    WNDCLASSW wc = {};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = benchWindowProc;
    wc.lpszClassName = u"VtBenchScreen";
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, u"VtBenchScreen", u"bench", WS_VISIBLE, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                             nullptr, nullptr);
    ShowWindow(w, SW_MAXIMIZE);
    shared.mainWindow = w;
    return w;
  }();
  return window;
}

void showCard() {
  shared.cardTotalKb = 1931264;
  shared.cardFreeKb = 1000000;
}

void BM_FullPaint(benchmark::State& state) {
  HWND w = screen();
  showCard();
  shared.photoCount = 53;
  shared.batchTotal = 100;
  shared.progressStep = 1;
  shared.progressPercent = 52.999996f;
  for (auto _ : state) {
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
  }
  shared.progressPercent = 0.0f;
}
BENCHMARK(BM_FullPaint)->Unit(benchmark::kMicrosecond);

// A tick of a 100-photo batch whose whole percent and segment count both
// changed: the digits patch and the bar from one step before the new end.
void BM_TickPaint(benchmark::State& state) {
  HWND w = screen();
  showCard();
  shared.photoCount = 56;
  shared.batchTotal = 100;
  shared.progressStep = 1;
  shared.progressPercent = 56.0f;
  const RECT digits = {180, 128, 260, 140};
  const RECT bar = {25 + 17 * (14 - 1), 151, 450, 163};
  for (auto _ : state) {
    InvalidateRect(w, &digits, FALSE);
    InvalidateRect(w, &bar, FALSE);
    UpdateWindow(w);
  }
  shared.progressPercent = 0.0f;
}
BENCHMARK(BM_TickPaint)->Unit(benchmark::kMicrosecond);

// 100 ticks of a real batch over 5 MB photos, each with its fix in a day's
// log of an hour of records. Reports the median and the worst tick.
void BM_BatchTick5MBPhotos(benchmark::State& state) {
  const int photos = 100;
  HWND w = screen();
  (void)w;
  showCard();
  const std::string root = deviceRoot();
  // 2026-03-06 09:00:00 to 10:00:00 UTC, one record a second.
  {
    std::string log;
    for (int32_t s = 9 * 3600; s < 10 * 3600; ++s) {
      BYTE r[kTrackRecordBytes];
      encodeTrackRecord(TrackRecord{s, 5545.1234f, 'N', 3737.5678f, 'E'}, r);
      log.append(reinterpret_cast<const char*>(r), sizeof r);
    }
    WCHAR day[64];
    trackLogPath("060326", day, 64);
    mkdir(hostPathFor(kTrackLogFolder).c_str(), 0777);
    std::ofstream(hostPathFor(day), std::ios::binary) << log;
  }
  PhotoSpec spec;
  spec.width = 3000;
  spec.height = 2250;
  spec.quality = 95;
  spec.noise = 60;
  spec.dateTimeOriginal = "2026:03:06 12:55:00";  // 09:55:00 UTC: near the log's end
  const std::string photo = makeCameraPhoto(spec);
  mkdir((root + "/SDMMC/DCIM").c_str(), 0777);

  for (auto _ : state) {
    state.PauseTiming();
    // One more node than ticks: the last tick would end the batch with its
    // closing message, which is not part of a tick's work.
    std::vector<PhotoEntry> nodes(photos + 1);
    for (int i = 0; i <= photos; ++i) {
      char name[64];
      snprintf(name, sizeof name, "IMG_%04d.JPG", i + 1);
      std::ofstream(root + "/SDMMC/DCIM/" + name, std::ios::binary) << photo;
      const std::u16string path = u"\\SDMMC\\DCIM\\" + utf16FromUtf8(name);
      wcsncpy16(nodes[i].path, path.c_str(), 100);
      nodes[i].next = i < photos ? &nodes[i + 1] : nullptr;
    }
    shared.photoList = &nodes[0];
    shared.photoCount = photos + 1;
    shared.progressPercent = 0.0f;
    shared.batchActive = 0;
    startBatch();
    state.ResumeTiming();

    std::vector<double> ms;
    for (int i = 0; i < photos; ++i) {
      const auto t0 = std::chrono::steady_clock::now();
      tagNextPhoto();
      ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0)
                       .count());
    }
    state.PauseTiming();
    std::vector<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    state.counters["median_ms"] = sorted[sorted.size() / 2];
    state.counters["worst_ms"] = sorted.back();
    state.counters["tagged"] = shared.batchTagged;
    state.counters["photo_MB"] = static_cast<double>(photo.size()) / 1e6;
    KillTimer(shared.mainWindow, kBatchTimerId);
    shared.progressPercent = 0.0f;
    shared.batchActive = 0;
    shared.batchRunning = 0;
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BatchTick5MBPhotos)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
