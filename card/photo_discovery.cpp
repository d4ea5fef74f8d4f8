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

// Links a node for `path` at the head of the list; false when no memory is
// left, and the list stays as it was. Nodes are never released: a later run
// abandons them while a batch may still hold one.
bool addPhoto(LPCWSTR path) {
  auto* node = static_cast<PhotoEntry*>(LocalAlloc(LPTR, sizeof(PhotoEntry)));
  if (!node) return false;
  wcsncpy16(node->path, path, sizeof node->path / sizeof node->path[0]);
  node->next = shared.photoList.load();
  shared.photoCount.fetch_add(1);
  shared.photoList.store(node);
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
  shared.photoList.store(nullptr);  // the old nodes are abandoned, not released

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
