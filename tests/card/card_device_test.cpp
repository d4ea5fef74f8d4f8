// A real card behind DIR/DSK2: a block device, faked by reporting the linked
// file as one through the host-call table. An SD/MMC slot is identified from
// a fake sysfs tree, a USB reader from the FAT or exFAT boot sector of an
// image that mkfs made.
#include <gtest/gtest.h>

#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/state/shared_state.h"
#include "card/card_check.h"
#include "platform/kernel/storage.h"
#include "platform/core/wide_text.h"
#include "tests/card/card_fixtures.h"

namespace {

dev_t gFakeDev;
ino_t gFakeIno;
dev_t gFakeRdev;

bool run(const std::string& command) { return system((command + " >/dev/null 2>&1").c_str()) == 0; }

class CardDeviceTest : public DeviceImageTest {
 protected:
  void SetUp() override {
    DeviceImageTest::SetUp();
    work = makeTempDir("vt-card-device");
    setSysfsRoot(work + "/sys");
  }
  void TearDown() override {
    setSysfsRoot("/sys");
    removeTree(work);
    DeviceImageTest::TearDown();
  }

  // DIR/DSK2 becomes a link to `target`, which fstat reports as the block
  // device major:minor.
  void linkBlockDevice(const std::string& target, unsigned maj, unsigned min) {
    ASSERT_EQ(0, symlink(target.c_str(), image->path("DSK2").c_str()));
    struct stat st;
    ASSERT_EQ(0, ::stat(target.c_str(), &st));
    gFakeDev = st.st_dev;
    gFakeIno = st.st_ino;
    gFakeRdev = makedev(maj, min);
    calls->fstat = [](int fd, struct stat* out) {
      int r = realHostCalls().fstat(fd, out);
      if (r == 0 && out->st_dev == gFakeDev && out->st_ino == gFakeIno) {
        out->st_mode = S_IFBLK | 0660;
        out->st_rdev = gFakeRdev;
      }
      return r;
    };
  }

  void writeSysfs(const std::string& relative, const std::string& text) {
    std::string path = work + "/sys/" + relative;
    run("mkdir -p '" + path.substr(0, path.rfind('/')) + "'");
    writeWholeFile(path, text);
  }
  void linkSysfs(const std::string& relative, const std::string& target) {
    std::string path = work + "/sys/" + relative;
    run("mkdir -p '" + path.substr(0, path.rfind('/')) + "'");
    ASSERT_EQ(0, symlink(target.c_str(), path.c_str()));
  }

  // The slot's card as sysfs shows it: block/mmcblk0 with partition p1, its
  // device folder holding the CID.
  void sysfsCard(const std::string& cid, const std::string& type) {
    writeSysfs("devices/mmc0/mmc0:0001/cid", cid + "\n");
    writeSysfs("devices/mmc0/mmc0:0001/type", type + "\n");
    writeSysfs("devices/mmc0/mmc0:0001/block/mmcblk0/mmcblk0p1/partition", "1\n");
    linkSysfs("devices/mmc0/mmc0:0001/block/mmcblk0/device", "../../../mmc0:0001");
    linkSysfs("dev/block/179:0", "../../devices/mmc0/mmc0:0001/block/mmcblk0");
    linkSysfs("dev/block/179:1", "../../devices/mmc0/mmc0:0001/block/mmcblk0/mmcblk0p1");
  }

  std::string readIdentity() {
    wcsncpy16(shared.cardIdentity, u"unchanged", 1024);
    int r = readCardIdentity();
    return r ? utf8FromUtf16(shared.cardIdentity) : "failed";
  }

  std::string work;
  HostCallsOverride calls;
};

TEST_F(CardDeviceTest, SlotCardsAreKnownByTheManufacturerAndSerialOfTheirCid) {
  std::string node = work + "/mmcblk0";
  writeWholeFile(node, "");
  // SD: manufacturer 03, serial 12AB00FF at bits 55..24.
  sysfsCard("03534453443038478012ab00ff00c1d5", "SD");
  linkBlockDevice(node, 179, 0);
  EXPECT_EQ("0312AB00FF", readIdentity());
  gFakeRdev = makedev(179, 1);  // the link names the card's first partition
  EXPECT_EQ("0312AB00FF", readIdentity());
  // MMC: serial at bits 47..16.
  writeSysfs("devices/mmc0/mmc0:0001/cid", "150100384733324d4210a1b2c3d4e500\n");
  writeSysfs("devices/mmc0/mmc0:0001/type", "MMC\n");
  EXPECT_EQ("15A1B2C3D4", readIdentity());
  // A CID that is not 32 hex digits, and a device sysfs does not know, are
  // asked of the boot sector, which this empty node does not have.
  writeSysfs("devices/mmc0/mmc0:0001/cid", "15010038473332\n");
  EXPECT_EQ("failed", readIdentity());
  gFakeRdev = makedev(179, 8);
  EXPECT_EQ("failed", readIdentity());
}

TEST_F(CardDeviceTest, ReaderCardsAreKnownByTheVolumeSerialOfTheirFileSystem) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "mkfs.fat (dosfstools) is not installed";
  for (const char* fat : {"12", "16", "32"}) {
    SCOPED_TRACE(fat);
    std::string img = work + "/fat" + fat + ".img";
    ASSERT_TRUE(run(std::string("mkfs.fat -C -F ") + fat + " -i 1234ABCD '" + img + "' " +
                    (std::string(fat) == "32" ? "40000" : std::string(fat) == "16" ? "20000" : "4096")));
    ::unlink(image->path("DSK2").c_str());
    linkBlockDevice(img, 8, 17);
    EXPECT_EQ("1234ABCD", readIdentity());
  }
}

TEST_F(CardDeviceTest, AWholeDiskIsFollowedToItsFirstPartition) {
  if (!run("command -v mkfs.fat")) GTEST_SKIP() << "mkfs.fat (dosfstools) is not installed";
  std::string img = work + "/disk.img";
  // An MBR with one FAT32 partition starting at sector 2048.
  std::string mbr(512, '\0');
  unsigned char entry[16] = {0, 0, 0, 0, 0x0C, 0, 0, 0, 0x00, 0x08, 0, 0, 0x80, 0x38, 0x01, 0};
  memcpy(&mbr[446], entry, sizeof entry);
  mbr[510] = '\x55';
  mbr[511] = '\xAA';
  ASSERT_TRUE(writeWholeFile(img, mbr));
  ASSERT_EQ(0, truncate(img.c_str(), (2048 + 80000) * 512ll));
  ASSERT_TRUE(run("mkfs.fat -F 32 --offset 2048 -i 0BADCAFE '" + img + "' 40000"));
  linkBlockDevice(img, 8, 16);
  EXPECT_EQ("0BADCAFE", readIdentity());
}

TEST_F(CardDeviceTest, ExfatCardsReadTheSerialBlkidReports) {
  if (!run("command -v mkfs.exfat") || !run("command -v blkid"))
    GTEST_SKIP() << "mkfs.exfat (exfatprogs) or blkid is not installed";
  std::string img = work + "/exfat.img";
  ASSERT_EQ(0, truncate((writeWholeFile(img, ""), img).c_str(), 8 << 20));
  ASSERT_TRUE(run("mkfs.exfat '" + img + "'"));
  std::string uuid = commandOutput("blkid -o value -s UUID '" + img + "'");  // XXXX-XXXX
  while (!uuid.empty() && uuid.back() == '\n') uuid.pop_back();
  ASSERT_EQ(9u, uuid.size());
  linkBlockDevice(img, 8, 33);
  EXPECT_EQ(uuid.substr(0, 4) + uuid.substr(5), readIdentity());
}

TEST_F(CardDeviceTest, ADiskWithoutAFileSystemHasNoIdentity) {
  std::string img = work + "/blank.img";
  ASSERT_TRUE(writeWholeFile(img, std::string(4096, '\0')));
  linkBlockDevice(img, 8, 48);
  EXPECT_EQ("failed", readIdentity());
}

TEST_F(CardDeviceTest, AVanishedDeviceNodeMeansNoCard) {
  ASSERT_EQ(0, symlink((work + "/gone").c_str(), image->path("DSK2").c_str()));
  EXPECT_EQ("failed", readIdentity());
}

}  // namespace
