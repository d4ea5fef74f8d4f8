// Photo discovery over real folders of a device image: which names count as
// photos, how deep the search goes, the order of the list, and what happens
// at the limits (a full subfolder table, memory running out).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/state/shared_state.h"
#include "card/photo_discovery.h"
#include "card/photo_list.h"
#include "platform/core/host_calls.h"
#include "platform/core/wide_text.h"
#include "tests/card/card_fixtures.h"

namespace {

class PhotoDiscoveryTest : public DeviceImageTest {
 protected:
  // The list from the head, as the batch walks it.
  static std::vector<std::string> listedPaths() {
    std::vector<std::string> paths;
    for (PhotoEntry* e = shared.photoList.load(); e; e = e->next) paths.push_back(utf8FromUtf16(e->path));
    return paths;
  }
  void put(const std::string& relative) { putCardFile(*image, relative); }
  void folder(const std::string& relative) { putCardFolder(*image, relative); }
};

TEST_F(PhotoDiscoveryTest, ListRunsFromTheLastSubfolderBackToTheFirstPhotoFound) {
  SortedDirectoryOrder order;
  put("DCIM/IMG_0001.JPG");
  put("DCIM/IMG_0002.JPG");
  put("DCIM/100PHOTO/DSC_0007.jpg");
  EXPECT_EQ(0, discoverPhotos());
  EXPECT_EQ(3, shared.photoCount.load());
  EXPECT_EQ((std::vector<std::string>{"\\SDMMC\\DCIM\\100PHOTO\\DSC_0007.jpg",
                                      "\\SDMMC\\DCIM\\IMG_0002.JPG", "\\SDMMC\\DCIM\\IMG_0001.JPG"}),
            listedPaths());
}

TEST_F(PhotoDiscoveryTest, OrderFollowsThePlatformsDirectoryOrderNotTheNames) {
  SortedDirectoryOrder order(/*descending=*/true);
  put("DCIM/IMG_0001.JPG");
  put("DCIM/IMG_0002.JPG");
  put("DCIM/101PHOTO/B.JPG");
  put("DCIM/100PHOTO/A.JPG");
  EXPECT_EQ(0, discoverPhotos());
  // Found: IMG_0002, IMG_0001, then 101PHOTO's B, then 100PHOTO's A.
  EXPECT_EQ((std::vector<std::string>{"\\SDMMC\\DCIM\\100PHOTO\\A.JPG", "\\SDMMC\\DCIM\\101PHOTO\\B.JPG",
                                      "\\SDMMC\\DCIM\\IMG_0001.JPG", "\\SDMMC\\DCIM\\IMG_0002.JPG"}),
            listedPaths());
}

TEST_F(PhotoDiscoveryTest, PhotoTestIsACaseSensitiveExtensionAnywhereInAtMostTwelveCharacters) {
  SortedDirectoryOrder order;
  put("DCIM/IMG_0001.JPG");     // 12 characters: listed
  put("DCIM/IMG_00001.JPG");    // 13: not
  put("DCIM/photo.Jpg");        // mixed case: not
  put("DCIM/A.JPG.BAK");        // the extension need not be last
  put("DCIM/b.jpg");
  put("DCIM/c.jPG");
  put("DCIM/NOTES.TXT");
  put("DCIM/JPG");              // no dot
  put("DCIM/SUB/LONGNAME1.JPG");  // 13 in a subfolder: not
  put("DCIM/SUB/ABCDEFGH.jpg");   // 12 in a subfolder: listed
  EXPECT_EQ(0, discoverPhotos());
  EXPECT_EQ((std::vector<std::string>{"\\SDMMC\\DCIM\\SUB\\ABCDEFGH.jpg", "\\SDMMC\\DCIM\\b.jpg",
                                      "\\SDMMC\\DCIM\\IMG_0001.JPG", "\\SDMMC\\DCIM\\A.JPG.BAK"}),
            listedPaths());
  EXPECT_EQ(4, shared.photoCount.load());
}

TEST_F(PhotoDiscoveryTest, SearchGoesExactlyOneFolderLevelDown) {
  SortedDirectoryOrder order;
  folder("DCIM/X.JPG");                 // a folder with a photo's name: searched, not listed
  put("DCIM/X.JPG/IN.JPG");
  put("DCIM/100PHOTO/SUB/A.JPG");       // two levels down: not found
  folder("DCIM/100PHOTO/DEEP.JPG");     // a folder inside a subfolder: never entered nor listed
  folder("DCIM/101EMPTY");              // empty: adds nothing, later folders still searched
  put("DCIM/102PHOTO/C.JPG");
  EXPECT_EQ(0, discoverPhotos());
  EXPECT_EQ((std::vector<std::string>{"\\SDMMC\\DCIM\\X.JPG\\IN.JPG", "\\SDMMC\\DCIM\\102PHOTO\\C.JPG"}),
            listedPaths());
}

TEST_F(PhotoDiscoveryTest, LongSubfolderNamesAreSearchedUnderTheirFirstEightCharacters) {
  SortedDirectoryOrder order;
  put("DCIM/CameraRoll/A.JPG");
  EXPECT_EQ(0, discoverPhotos());
  EXPECT_EQ(0, shared.photoCount.load());  // "CameraRo" does not exist

  // With a folder of the shortened name, its photos come once for each name.
  put("DCIM/CameraRo/B.JPG");
  EXPECT_EQ(0, discoverPhotos());
  EXPECT_EQ((std::vector<std::string>{"\\SDMMC\\DCIM\\CameraRo\\B.JPG", "\\SDMMC\\DCIM\\CameraRo\\B.JPG"}),
            listedPaths());
}

TEST_F(PhotoDiscoveryTest, LongestPathsFitTheNodeWithTheirTerminator) {
  put("DCIM/ABCDEFGH/IMG_0001.JPG");
  EXPECT_EQ(0, discoverPhotos());
  ASSERT_EQ(1, shared.photoCount.load());
  PhotoEntry* head = shared.photoList.load();
  EXPECT_EQ(33u, wcslen16(head->path));
  EXPECT_EQ(nullptr, head->next);
}

TEST_F(PhotoDiscoveryTest, NoEntryInDcimGivesOneWithEverythingReset) {
  for (const char* setup : {"no DCIM", "empty DCIM"}) {
    SCOPED_TRACE(setup);
    if (std::string(setup) == "empty DCIM") folder("DCIM");
    put("IMG_0001.JPG");  // beside DCIM, not in it
    shared.photoCount.store(7);
    shared.photoList.store(reinterpret_cast<PhotoEntry*>(&shared));  // any stale non-null value
    shared.progressPercent.store(50.0f);
    shared.prevProgressPercent.store(40.0f);
    EXPECT_EQ(1, discoverPhotos());
    EXPECT_EQ(0, shared.photoCount.load());
    EXPECT_EQ(nullptr, shared.photoList.load());
    EXPECT_EQ(0.0f, shared.progressPercent.load());
    EXPECT_EQ(0.0f, shared.prevProgressPercent.load());
  }
}

// The nodes allocated while counting and not yet released.
std::set<void*> gLiveNodes;

TEST_F(PhotoDiscoveryTest, EachRunReleasesTheListBeforeItOnceNoBatchUsesIt) {
  put("DCIM/IMG_0001.JPG");
  put("DCIM/100PHOTO/IMG_0002.JPG");
  HostCallsOverride calls;
  calls->malloc = [](size_t size) {
    void* p = realHostCalls().malloc(size);
    gLiveNodes.insert(p);
    return p;
  };
  calls->free = [](void* p) {
    gLiveNodes.erase(p);
    realHostCalls().free(p);
  };
  for (int run = 0; run < 10; ++run) discoverPhotos();
  EXPECT_EQ(2, shared.photoCount.load());
  EXPECT_EQ(2u, listedPaths().size());
  EXPECT_EQ(2u, gLiveNodes.size()) << "a new card's list replaces the last one, it is not added";
  // A list in a batch's hands stays until a run finds no batch.
  PhotoEntry* inHand = shared.photoList.load();
  shared.batchActive = 1;
  discoverPhotos();
  EXPECT_EQ(4u, gLiveNodes.size());
  EXPECT_TRUE(gLiveNodes.count(inHand));
  shared.batchActive = 0;
  discoverPhotos();
  EXPECT_EQ(2u, gLiveNodes.size());
  gLiveNodes.clear();
}

TEST_F(PhotoDiscoveryTest, SubfoldersBeyondTheThousandthAreNotSearched) {
  SortedDirectoryOrder order;
  char name[16];
  for (int i = 0; i < 1001; ++i) {
    snprintf(name, sizeof name, "F%04d", i);
    folder(std::string("DCIM/") + name);
  }
  put("DCIM/F0999/LAST.JPG");   // the 1000th subfolder: searched
  put("DCIM/F1000/OVER.JPG");   // the 1001st: no slot left
  put("DCIM/ZZ.JPG");           // photos directly in DCIM are still listed after the table fills
  EXPECT_EQ(0, discoverPhotos());
  EXPECT_EQ((std::vector<std::string>{"\\SDMMC\\DCIM\\F0999\\LAST.JPG", "\\SDMMC\\DCIM\\ZZ.JPG"}),
            listedPaths());
}

int gAllocationsLeft = 0;

TEST_F(PhotoDiscoveryTest, RunningOutOfMemoryKeepsThePhotosListedSoFar) {
  SortedDirectoryOrder order;
  put("DCIM/A.JPG");
  put("DCIM/B.JPG");
  put("DCIM/100PHOTO/C.JPG");
  put("DCIM/100PHOTO/D.JPG");
  HostCallsOverride calls;
  for (int allowed : {0, 1, 3}) {
    SCOPED_TRACE(allowed);
    gAllocationsLeft = allowed;
    calls->malloc = [](size_t size) -> void* {
      return gAllocationsLeft-- > 0 ? realHostCalls().malloc(size) : nullptr;
    };
    EXPECT_EQ(0, discoverPhotos());
    std::vector<std::string> paths = listedPaths();
    EXPECT_EQ(allowed, shared.photoCount.load());
    ASSERT_EQ(static_cast<size_t>(allowed), paths.size());
    if (allowed == 3) {
      EXPECT_EQ("\\SDMMC\\DCIM\\100PHOTO\\C.JPG", paths[0]);
    }
    if (allowed > 0) {
      EXPECT_EQ("\\SDMMC\\DCIM\\A.JPG", paths.back());
    }
  }
}

}  // namespace
