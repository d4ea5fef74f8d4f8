// Photo discovery: the JPEGs directly in the card's DCIM folder and one
// folder level below it, as a list with the last photo found at its head.
#include "card/photo_discovery.h"

#include <cstring>

#include "app/state/shared_state.h"
#include "card/photo_list.h"
#include "card/tagging_copy.h"
#include "platform/kernel/files.h"
#include "platform/core/memory.h"
#include "platform/core/wide_text.h"
#include "platform/kernel/find_files.h"

namespace {

// Working storage of one run; it means nothing between runs.
constexpr int kSubfolderSlots = 1000;
constexpr size_t kSubfolderNameUnits = 9;  // 8 characters and a NUL that is never written
WCHAR subfolderNames[kSubfolderSlots][kSubfolderNameUnits];
int subfolderCount = 0;
WIN32_FIND_DATAW findData;
WCHAR pattern[100];

// A photo: ".JPG" or ".jpg" anywhere in a name of at most 12 characters.
// Mixed-case extensions are not photos; A.JPG.BAK is.
bool isPhotoName(LPCWSTR name) {
  return (wcsstr16(name, u".JPG") || wcsstr16(name, u".jpg")) && wcslen16(name) < 13;
}

// The whole list of the latest run (the batch moves photoList along it, so
// only discovery still knows its first node), and the lists of earlier runs
// still to be released.
PhotoEntry* latestRun = nullptr;
constexpr int kRetiredSlots = 4;
PhotoEntry* retiredRuns[kRetiredSlots] = {};

void releaseList(PhotoEntry* node) {
  while (node) {
    PhotoEntry* next = node->next;
    LocalFree(node);
    node = next;
  }
}

// The previous run's list is released when a new run replaces it, once no
// batch is using it: a device that sees a card a day must not grow by a
// list each time. The card check stands aside while a batch runs, so that
// is at once; a list still in a batch's hands waits for a later run (and,
// with every slot taken, is left as it is rather than pulled from under it).
void retirePreviousRun() {
  for (PhotoEntry*& slot : retiredRuns) {
    if (!slot) {
      slot = latestRun;
      latestRun = nullptr;
      break;
    }
  }
  latestRun = nullptr;
  // photoList no longer leads to them (it was cleared first), so a batch
  // started from now on never reaches them.
  if (shared.batchActive.load() != 0 || shared.batchRunning.load() != 0) return;
  for (PhotoEntry*& slot : retiredRuns) {
    releaseList(slot);
    slot = nullptr;
  }
}

// Links a node for `path` at the head of the list; false when no memory is
// left, and the list stays as it was.
bool addPhoto(LPCWSTR path) {
  auto* node = static_cast<PhotoEntry*>(LocalAlloc(LPTR, sizeof(PhotoEntry)));
  if (!node) return false;
  wcsncpy16(node->path, path, sizeof node->path / sizeof node->path[0]);
  node->next = shared.photoList.load();
  shared.photoCount.fetch_add(1);
  shared.photoList.store(node);
  latestRun = node;
  return true;
}

void rememberSubfolder(LPCWSTR name) {
  // The table is full: further subfolders are not searched.
  if (subfolderCount >= kSubfolderSlots) return;
  WCHAR* slot = subfolderNames[subfolderCount];
  memset(slot, 0, sizeof subfolderNames[0]);
  wcsncpy16(slot, name, kSubfolderNameUnits);
  ++subfolderCount;
}

}  // namespace

int discoverPhotos() {
  subfolderCount = 0;
  shared.progressPercent.store(0.0f);
  shared.prevProgressPercent.store(0.0f);
  shared.photoCount.store(0);
  shared.photoList.store(nullptr);
  retirePreviousRun();

  WCHAR path[1024];  // wsprintfW's own bound; a path stays far below the node's 100
  HANDLE search = FindFirstFileW(u"SDMMC\\DCIM\\*", &findData);
  if (search == INVALID_HANDLE_VALUE) return 1;
  bool memoryLeft = true;
  bool leftoverCopy = false;
  do {
    if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      rememberSubfolder(findData.cFileName);
    } else if (wcscmp16(findData.cFileName, kTaggingCopyName) == 0) {
      // A tagged copy a power cut left: never a photo, and not kept.
      leftoverCopy = true;
    } else if (isPhotoName(findData.cFileName)) {
      wsprintfW(path, u"\\SDMMC\\DCIM\\%s", findData.cFileName);
      memoryLeft = addPhoto(path);
    }
  } while (memoryLeft && FindNextFileW(search, &findData));
  FindClose(search);
  if (leftoverCopy) removeLeftoverTaggingCopy();

  // Out of memory: the photos listed so far are the list.
  for (int i = 0; memoryLeft && i < subfolderCount; ++i) {
    wsprintfW(pattern, u"SDMMC\\DCIM\\%s\\*", subfolderNames[i]);
    search = FindFirstFileW(pattern, &findData);
    if (search == INVALID_HANDLE_VALUE) continue;
    do {
      if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;  // one level only
      if (!isPhotoName(findData.cFileName)) continue;
      wsprintfW(path, u"\\SDMMC\\DCIM\\%s\\%s", subfolderNames[i], findData.cFileName);
      memoryLeft = addPhoto(path);
    } while (memoryLeft && FindNextFileW(search, &findData));
    FindClose(search);
  }
  return 0;
}
