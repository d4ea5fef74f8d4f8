// A card given as a device and the folder the system mounts it at
// (--card-device, --card-mount): the card is offered once its identity
// answers and its file system is there, whichever comes first; and a device
// the user may not read is said so.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "card/card_check.h"
#include "platform/kernel/device_image.h"
#include "tests/card/card_fixtures.h"
#include "tests/support/control_client.h"
#include "tests/support/program_process.h"
#include "tests/support/pty_receiver.h"
#include "tests/support/wait_for.h"

using namespace std::chrono_literals;

namespace {

const std::string kCard = cardWith("\x03", std::string("\x12\xAB\x00\xFF", 4));

bool run(const std::string& command) { return system((command + " >/dev/null 2>&1").c_str()) == 0; }

class CardMountEndToEnd : public DeviceImageTest {
 protected:
  void SetUp() override {
    DeviceImageTest::SetUp();
    work = makeTempDir("vt-card-mount");
    device = work + "/card-device";
    mount = work + "/media-card";
  }
  void TearDown() override {
    program.reset();
    if (mounted) ::umount2(mount.c_str(), MNT_DETACH);
    if (!filled.empty()) ::umount2(filled.c_str(), MNT_DETACH);
    if (!loop.empty()) run("losetup -d " + loop);
    removeTree(work);
    DeviceImageTest::TearDown();
  }
  void start() {
    ASSERT_TRUE(receiver.ok());
    ASSERT_TRUE(receiver.linkAsCom1(image->root()));
    program = std::make_unique<ProgramProcess>(
        VT_PROGRAM, std::vector<std::string>{"--root", image->root(), "--card-device", device,
                                             "--card-mount", mount, "--control", sock()});
    ASSERT_TRUE(waitForControl(sock(), 5s));
  }
  std::string sock() { return image->path("control.sock"); }
  // Two fixes logged: the tick that logged the first, card check and all,
  // has ended with the slot as it is now.
  void waitForWholeTick() {
    for (int i = 0; i < 2; ++i) {
      char fix[96];
      snprintf(fix, sizeof fix,
               "$GPRMC,0930%02d.00,A,5545.1234,N,03737.5678,E,0,0,060326,,,A\r\n", ++fixes);
      ASSERT_TRUE(receiver.send(fix));
      ASSERT_TRUE(waitFor([&] { return dayBytes() >= static_cast<size_t>(fixes) * 14; }, 5s))
          << "fix " << fixes;
    }
  }
  size_t dayBytes() {
    return readWholeFile(image->path("ResidentFlash/vellumtrace/060326.log")).size();
  }
  // A photo put in a folder nobody is looking at yet.
  void fillWithPhoto(const std::string& folder) {
    ASSERT_TRUE(
        run("mkdir -p '" + folder + "/DCIM' && echo jpeg > '" + folder + "/DCIM/IMG_0001.JPG'"));
  }
  // The card's folder with a photo in it, there all at once as a mounted file
  // system is: filled beside it, then renamed into place. A program that
  // looked while it was being filled would see a card without photos, which
  // stays down.
  void putPhotoIn(const std::string& folder) {
    const std::string filling = folder + ".filling";
    fillWithPhoto(filling);
    ASSERT_EQ(0, ::rename(filling.c_str(), folder.c_str())) << strerror(errno);
  }

  // A 16 MB FAT image on a free loop device, and the empty mount folder;
  // why not, where that cannot be done here.
  std::string attachLoopCard() {
    if (geteuid() != 0) return "needs root for losetup and mount";
    if (!run("command -v mkfs.fat")) return "mkfs.fat (dosfstools) is not installed";
    const std::string img = work + "/card.img";
    if (!run("truncate -s 16M '" + img + "' && mkfs.fat -i 1234ABCD '" + img + "'"))
      return "mkfs.fat failed";
    loop = commandOutput("losetup -f --show '" + img + "' 2>/dev/null");
    while (!loop.empty() && loop.back() == '\n') loop.pop_back();
    if (loop.empty()) return "no loop device can be set up here";
    return ::mkdir(mount.c_str(), 0777) == 0 ? "" : "cannot make the mount folder";
  }
  void expectOfferedOnlyOnceMounted(const std::function<int()>& mountCard) {
    start();
    waitForWholeTick();
    ASSERT_EQ(0, symlink(loop.c_str(), device.c_str()));  // the card goes in
    waitForWholeTick();
    EXPECT_EQ("hidden", controlCommand(sock(), "window"));  // its folder: the empty mount point
    ASSERT_EQ(0, mountCard()) << strerror(errno);
    mounted = true;
    EXPECT_TRUE(waitForReply(sock(), "window", "visible", 10s));
  }

  std::string work, device, mount, loop, filled;
  bool mounted = false;
  PtyReceiver receiver;
  std::unique_ptr<ProgramProcess> program;
  int fixes = 0;
};

TEST_F(CardMountEndToEnd, ACardWhoseFilesComeAfterItsIdentityIsStillOffered) {
  fillWithPhoto(image->path("SDMMC"));  // the image's own card folder is not the card now
  start();
  writeWholeFile(device, kCard);
  waitForWholeTick();
  EXPECT_EQ("hidden", controlCommand(sock(), "window"));
  const std::string card = std::string(VT_TOOL) + " card --root " + image->root() +
                           " --card-device " + device + " --card-mount " + mount;
  EXPECT_EQ(commandOutput(card), "identity: 0312AB00FF\nfiles: not mounted at " + mount + "\n");
  putPhotoIn(mount);
  EXPECT_TRUE(waitForReply(sock(), "window", "visible", 10s));
  EXPECT_NE(commandOutput(card).find("photos: 1\n" + std::string("\\SDMMC\\DCIM\\IMG_0001.JPG\n")),
            std::string::npos);
}

// A FAT image on a loop device: the card. It goes in through a link, as
// udev makes one, and its identity answers at once; the system mounts it a
// moment later.
TEST_F(CardMountEndToEnd, ALoopDeviceCardIsOfferedOnceItsFileSystemIsMounted) {
  if (std::string why = attachLoopCard(); !why.empty()) GTEST_SKIP() << why;
  if (::mount(loop.c_str(), mount.c_str(), "vfat", 0, nullptr) != 0)
    GTEST_SKIP() << "this kernel cannot mount FAT (" << strerror(errno) << ")";
  fillWithPhoto(mount);
  ASSERT_EQ(0, ::umount(mount.c_str()));
  expectOfferedOnlyOnceMounted(
      [&] { return ::mount(loop.c_str(), mount.c_str(), "vfat", 0, nullptr); });
}

// The same where FAT cannot be mounted: any file system mounted on the
// folder is what makes a block device's card count as in.
TEST_F(CardMountEndToEnd, ABlockDeviceCardWaitsForAFileSystemOnItsFolder) {
  if (std::string why = attachLoopCard(); !why.empty()) GTEST_SKIP() << why;
  // Filled where the program does not look, then bound onto its folder, so
  // that the file system comes with its photo.
  filled = work + "/tmpfs-card";
  ASSERT_EQ(0, ::mkdir(filled.c_str(), 0777));
  ASSERT_EQ(0, ::mount("tmpfs", filled.c_str(), "tmpfs", 0, nullptr)) << strerror(errno);
  fillWithPhoto(filled);
  expectOfferedOnlyOnceMounted(
      [&] { return ::mount(filled.c_str(), mount.c_str(), nullptr, MS_BIND, nullptr); });
}

class CardDeviceAccessTest : public DeviceImageTest {};

// What three reads denied, one allowed, two denied again, two failing
// otherwise and one finding no card say.
TEST_F(CardDeviceAccessTest, ADeviceThatCannotBeReadIsExplainedOnceUntilItOpens) {
  writeWholeFile(image->path("DSK2"), kCard);
  static int failure;
  HostCallsOverride calls;
  calls->open = [](const char* path, int flags, mode_t mode) {
    if (failure == 0 || !std::string(path).ends_with("/DSK2"))
      return realHostCalls().open(path, flags, mode);
    errno = failure;
    return -1;
  };
  testing::internal::CaptureStderr();
  for (int f : {EACCES, EACCES, EACCES, 0, EACCES, EACCES, EIO, EIO, ENOMEDIUM}) {
    failure = f;
    EXPECT_EQ(f ? 0 : 1, readCardIdentity());
  }
  const std::string note = ": cannot read the card device " + image->path("DSK2") + ": ";
  const std::string err = testing::internal::GetCapturedStderr();
  auto count = [&](const std::string& what) {
    int n = 0;
    for (size_t at = err.find(note + what); at != std::string::npos; at = err.find(note + what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("Permission denied; the card is not seen until the user may read it"), 2) << err;
  EXPECT_EQ(count("Input/output error; the card is not seen until it opens"), 1) << err;
  EXPECT_EQ(count(""), 3) << "an empty slot is no error: " << err;
  EXPECT_NE(err.find("group that owns it"), std::string::npos) << err;
}

}  // namespace
