// vellumtrace-tool tag, run as a process against a device image.
#include <sys/stat.h>
#include <chrono>
#include <string>
#include <vector>

#include "tests/geotag/photo_fixture.h"
#include "tests/support/program_process.h"

namespace {

class TagToolTest : public PhotoTest {};

TEST_F(TagToolTest, TagsNamedPhotosAndSaysWhyOthersWereSkipped) {
  const std::string photo = craftJpeg(cameraSpec(kPhotoTime));
  writeWholeFile(photoFile("IMG_0001.JPG"), photo);
  writeWholeFile(photoFile("IMG_0002.JPG"), craftJpeg(cameraSpec("2010:06:05 14:31:07")));
  writeWholeFile(photoFile("IMG_0003.JPG"), photo);
  ToolRun r = runTool({"tag", "--root", image->root(), "\\SDMMC\\DCIM\\100CAM\\IMG_0001.JPG",
                       photoFile("IMG_0002.JPG"), photoFile("IMG_0003.JPG"), "/elsewhere/x.jpg"});
  EXPECT_EQ(r.status, 1);  // the photo off the card could not be written
  EXPECT_EQ(r.out, "tagged\t\\SDMMC\\DCIM\\100CAM\\IMG_0001.JPG\n"
                   "skipped\t" + photoFile("IMG_0002.JPG") + "\tno-matching-fix\n"
                   "tagged\t" + photoFile("IMG_0003.JPG") + "\n"
                   "skipped\t/elsewhere/x.jpg\tnot-on-card\n"
                   "Обработано фотографий: 2 из 4 фотографий.\n");
  r = runTool({"tag", "--root", image->root(), photoFile("IMG_0003.JPG")});
  EXPECT_EQ(r.out, "skipped\t" + photoFile("IMG_0003.JPG") + "\talready-geotagged\n"
                   "Обработано фотографий: 0 из 1 фотографий.\n");
}

TEST_F(TagToolTest, WithoutPhotosTagsTheWholeCard) {
  writeWholeFile(photoFile("IMG_0001.JPG"), craftJpeg(cameraSpec(kPhotoTime)));
  writeWholeFile(photoFile("IMG_0002.JPG"), "not a photo");
  ToolRun r = runTool({"tag", "--root", image->root()});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("tagged\t\\SDMMC\\DCIM\\100CAM\\IMG_0001.JPG\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("skipped\t\\SDMMC\\DCIM\\100CAM\\IMG_0002.JPG\tnot-jpeg\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Обработано фотографий: 1 из 2 фотографий.\n"), std::string::npos) << r.out;
}

// A copy a power cut left is no failure: it is removed and the photo tagged.
TEST_F(TagToolTest, SaysWhichHostCallFailedOnWhat) {
  writeWholeFile(photoFile("IMG_0001.JPG"), craftJpeg(cameraSpec(kPhotoTime)));
  writeWholeFile(tempFile(), "a copy cut short");
  std::string errors = commandOutput(std::string(VT_TOOL) + " tag --root " + image->root() +
                                     " '\\SDMMC\\DCIM\\100CAM\\NONE.JPG' " + photoFile("IMG_0001.JPG") +
                                     " 2>&1 >/dev/null");
  EXPECT_EQ(errors, "vellumtrace-tool: cannot open \\SDMMC\\DCIM\\100CAM\\NONE.JPG: open " +
                        photoFile("NONE.JPG") + ": No such file or directory\n");
  EXPECT_FALSE(fileExists(tempFile()));
}

// The log holds 11:30:07 and 12:30:08 UTC. A dry run finds each photo's fix
// under the clock offset it is given and leaves the photos as they were.
TEST_F(TagToolTest, DryRunShowsTheFixUnderTheCameraClockOffsetAndWritesNothing) {
  writeTrackLog(*image, "050610",
                {{41407, 5545.1234f, 'N', 3737.5678f, 'E'}, {45008, 3352.0f, 'S', 15112.25f, 'W'}});
  const std::string first = craftJpeg(cameraSpec(kPhotoTime));             // 14:30:07
  const std::string second = craftJpeg(cameraSpec("2010:06:05 06:30:08"));
  writeWholeFile(photoFile("IMG_0001.JPG"), first);
  writeWholeFile(photoFile("IMG_0002.JPG"), second);
  const std::string a = photoFile("IMG_0001.JPG"), b = photoFile("IMG_0002.JPG");
  ToolRun r = runTool({"tag", "--root", image->root(), "--dry-run", a, b});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "would-tag\t" + a + "\t2010-06-05T11:30:07Z\t55.7520589\t37.6261312\t+0s\n"
                   "skipped\t" + b + "\tno-matching-fix\n"
                   "dry run: 1 of 2 photos would be tagged; nothing was changed\n");
  r = runTool({"tag", "--root", image->root(), "--offset", "-05:00", "--dry-run", a, b});
  EXPECT_EQ(r.out, "skipped\t" + a + "\tno-matching-fix\n"
                   "would-tag\t" + b + "\t2010-06-05T11:30:07Z\t55.7520589\t37.6261312\t+1s\n"
                   "dry run: 1 of 2 photos would be tagged; nothing was changed\n");
  // An evening photo west of UTC has its fix in the next day's log, and says
  // that day.
  writeTrackLog(*image, "060610", {{3600, 5545.1234f, 'N', 3737.5678f, 'E'}});
  const std::string evening = photoFile("IMG_0003.JPG");
  writeWholeFile(evening, craftJpeg(cameraSpec("2010:06:05 20:00:00")));
  r = runTool({"tag", "--root", image->root(), "--offset", "-05:00", "--dry-run", evening});
  EXPECT_EQ(r.out, "would-tag\t" + evening + "\t2010-06-06T01:00:00Z\t55.7520589\t37.6261312\t+0s\n"
                   "dry run: 1 of 1 photos would be tagged; nothing was changed\n");
  r = runTool({"tag", "--root", image->root(), "--offset", "+02:00", "--dry-run", a});
  EXPECT_EQ(r.out, "would-tag\t" + a + "\t2010-06-05T12:30:08Z\t-33.8666667\t-151.2041667\t-1s\n"
                   "dry run: 1 of 1 photos would be tagged; nothing was changed\n");
  EXPECT_TRUE(readWholeFile(a) == first && readWholeFile(b) == second) << "a dry run changed a photo";
  EXPECT_FALSE(fileExists(tempFile()));
  for (const char* bad : {"3", "+3:00", "+24:00", "+03:60", "+03:00x"})
    EXPECT_EQ(runTool({"tag", "--root", image->root(), "--offset", bad, a}).status, 2) << bad;
}

// 1 only when a photo could not be opened or written; a photo the log has no
// fix for is not a failure of the run.
TEST_F(TagToolTest, ExitStatusSaysWhetherEveryPhotoCouldBeWritten) {
  writeWholeFile(photoFile("IMG_0001.JPG"), craftJpeg(cameraSpec(kPhotoTime)));
  writeWholeFile(photoFile("IMG_0002.JPG"), craftJpeg(cameraSpec("2010:06:05 01:00:00")));
  EXPECT_EQ(runTool({"tag", "--root", image->root(), photoFile("IMG_0002.JPG")}).status, 0);
  EXPECT_EQ(runTool({"tag", "--root", image->root(), photoFile("NONE.JPG"), photoFile("IMG_0002.JPG")}).status, 1);
  ASSERT_EQ(::chmod(photoFile("IMG_0001.JPG").c_str(), 0444), 0);
  EXPECT_EQ(runTool({"tag", "--root", image->root(), photoFile("IMG_0001.JPG")}).status, 1);  // read-only
  EXPECT_EQ(runTool({"tag", "--root", image->root(), "--dry-run", photoFile("IMG_0002.JPG")}).status, 0);
}

TEST_F(TagToolTest, TagsACardMountedElsewhere) {
  const std::string card = image->path("media-card");
  ASSERT_EQ(0, system(("mkdir -p " + card + "/DCIM").c_str()));
  writeWholeFile(card + "/DCIM/IMG_0001.JPG", craftJpeg(cameraSpec(kPhotoTime)));
  ToolRun r = runTool({"tag", "--root", image->root(), "--card-mount", card});
  EXPECT_EQ(r.out, "tagged\t\\SDMMC\\DCIM\\IMG_0001.JPG\nОбработано фотографий: 1 из 1 фотографий.\n");
  r = runTool({"tag", "--root", image->root(), "--card-mount", card, card + "/DCIM/IMG_0001.JPG"});
  EXPECT_EQ(r.out, "skipped\t" + card + "/DCIM/IMG_0001.JPG\talready-geotagged\n"
                   "Обработано фотографий: 0 из 1 фотографий.\n");
}

TEST_F(TagToolTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(runTool({"tag", "--root"}).status, 2);
  EXPECT_EQ(runTool({"tag", "--bogus", "x"}).status, 2);
  EXPECT_EQ(runTool({"nosuchcommand"}).status, 2);
  EXPECT_EQ(runTool({}).status, 2);
}

}  // namespace
