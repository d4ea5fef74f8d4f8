// The registry's cost as --boot meets it: listing every value of
// HKEY_LOCAL_MACHINE\init, which reads the file once per enumeration, beside
// asking for each value by name, which reads it once per value. Doubling the
// values doubles the first and quadruples the second.
// Run: build/bench/registry_bench
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <string>

#include "platform/kernel/device_image.h"
#include "platform/registry/registry.h"
#include "platform/core/wide_text.h"

namespace {

std::string gRoot;

// A device image whose init key holds `values` Launch values.
void makeRegistry(int values) {
  if (gRoot.empty()) {
    char templ[] = "/tmp/vt-registry-bench-XXXXXX";
    gRoot = mkdtemp(templ);
    setDeviceRoot(gRoot);
    prepareDeviceImage();
    atexit([] { system(("rm -rf '" + gRoot + "'").c_str()); });
  }
  FILE* f = fopen((gRoot + "/registry.reg").c_str(), "wb");
  fputs("[HKEY_LOCAL_MACHINE\\init]\n", f);
  for (int i = 0; i < values; ++i)
    fprintf(f, "\"Launch%d\"=\"\\\\ResidentFlash\\\\p%d\\\\program.exe\"\n", 1000 + i, i);
  fclose(f);
}

void BM_EnumerateInit(benchmark::State& state) {
  makeRegistry(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"init", 0, 0, &key);
    int listed = 0;
    for (DWORD i = 0;; ++i) {
      WCHAR name[256];
      DWORD nameChars = 256;
      BYTE data[2048];
      DWORD dataBytes = sizeof data, type = 0;
      LONG r = RegEnumValueW(key, i, name, &nameChars, nullptr, &type, data, &dataBytes);
      if (r != ERROR_SUCCESS) break;
      ++listed;
    }
    RegCloseKey(key);
    if (listed != state.range(0)) state.SkipWithError("not every value was listed");
  }
}
BENCHMARK(BM_EnumerateInit)->Arg(1000)->Arg(2000)->Arg(4000)->Unit(benchmark::kMillisecond);

void BM_QueryEachValueByName(benchmark::State& state) {
  makeRegistry(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    HKEY key = nullptr;
    RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"init", 0, 0, &key);
    for (int i = 0; i < state.range(0); ++i) {
      std::u16string name = utf16FromUtf8("Launch" + std::to_string(1000 + i));
      BYTE data[2048];
      DWORD dataBytes = sizeof data, type = 0;
      RegQueryValueExW(key, name.c_str(), nullptr, &type, data, &dataBytes);
    }
    RegCloseKey(key);
  }
}
BENCHMARK(BM_QueryEachValueByName)->Arg(250)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace
