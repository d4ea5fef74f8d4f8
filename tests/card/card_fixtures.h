// Helpers for the card tests: simulated cards in a device image, photos on
// them, and a fixed directory order for the searches.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/host_calls.h"
#include "tests/support/device_image_fixture.h"

// STORAGE_IDENTIFICATION bytes as a disk device returns them: the header of
// four little-endian words, then the ID bytes.
inline std::string identificationBytes(uint32_t size, uint32_t flags, uint32_t manufacturerOffset,
                                       uint32_t serialOffset, const std::string& idBytes = "") {
  std::string out;
  for (uint32_t word : {size, flags, manufacturerOffset, serialOffset})
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(word >> (8 * i)));
  return out + idBytes;
}

// A well-formed identification: manufacturer ID, then serial number.
inline std::string cardWith(const std::string& manufacturer, const std::string& serial,
                            uint32_t flags = 0) {
  uint32_t m = 16, s = 16 + static_cast<uint32_t>(manufacturer.size());
  return identificationBytes(s + static_cast<uint32_t>(serial.size()), flags, m, s,
                             manufacturer + serial);
}

// Creates a folder (and the folders above it) under the device image's card
// folder.
inline void putCardFolder(const TempDeviceImage& image, const std::string& relative) {
  std::string path = image.path("SDMMC/" + relative);
  for (size_t at = path.find('/', image.root().size() + 1);; at = path.find('/', at + 1)) {
    mkdir(path.substr(0, at).c_str(), 0777);
    if (at == std::string::npos) break;
  }
}

// Creates a file (and its folders) under the device image's card folder.
inline void putCardFile(const TempDeviceImage& image, const std::string& relative,
                        const std::string& bytes = "jpeg") {
  size_t slash = relative.rfind('/');
  if (slash != std::string::npos) putCardFolder(image, relative.substr(0, slash));
  writeWholeFile(image.path("SDMMC/" + relative), bytes);
}

// Makes every directory search report its entries sorted by name (or in the
// reverse of that), so tests can state the order the platform reports.
class SortedDirectoryOrder {
 public:
  explicit SortedDirectoryOrder(bool descending = false) {
    descending_ = descending;
    calls_->opendir = [](const char* path) -> DIR* {
      DIR* dir = realHostCalls().opendir(path);
      if (!dir) return dir;
      std::vector<dirent> entries;
      while (struct dirent* e = realHostCalls().readdir(dir)) entries.push_back(*e);
      std::sort(entries.begin(), entries.end(), [](const dirent& a, const dirent& b) {
        int c = strcmp(a.d_name, b.d_name);
        return descending_ ? c > 0 : c < 0;
      });
      std::lock_guard<std::mutex> lock(mutex_);
      listings_[dir] = Listing{std::move(entries), 0};
      return dir;
    };
    calls_->readdir = [](DIR* dir) -> struct dirent* {
      std::lock_guard<std::mutex> lock(mutex_);
      Listing& l = listings_[dir];
      return l.next < l.entries.size() ? &l.entries[l.next++] : nullptr;
    };
    calls_->closedir = [](DIR* dir) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        listings_.erase(dir);
      }
      return realHostCalls().closedir(dir);
    };
  }

 private:
  struct Listing {
    std::vector<dirent> entries;
    size_t next = 0;
  };
  HostCallsOverride calls_;
  static inline bool descending_ = false;
  static inline std::mutex mutex_;
  static inline std::map<DIR*, Listing> listings_;
};
