// vellumtrace-tool tag, run as a process against a device image.
#include <chrono>
#include <string>
#include <vector>

#include "tests/geotag/photo_fixture.h"
#include "tests/support/program_process.h"

namespace {

struct ToolRun {
  int status;
  std::string out;
};

ToolRun runTool(const std::vector<std::string>& args) {
  ProgramProcess tool(VT_TOOL, args);
  ToolRun r{tool.waitForExit(std::chrono::seconds(30)), {}};
  for (const std::string& line : tool.outLines()) r.out += line + "\n";
  return r;
}

class TagToolTest : public PhotoTest {};

TEST_F(TagToolTest, TagsNamedPhotosAndSaysWhyOthersWereSkipped) {
  const std::string photo = craftJpeg(cameraSpec(kPhotoTime));
  writeWholeFile(photoFile("IMG_0001.JPG"), photo);
  writeWholeFile(photoFile("IMG_0002.JPG"), craftJpeg(cameraSpec("2010:06:05 14:31:07")));
  writeWholeFile(photoFile("IMG_0003.JPG"), photo);
  ToolRun r = runTool({"tag", "--root", image->root(), "\\SDMMC\\DCIM\\100CAM\\IMG_0001.JPG",
                       photoFile("IMG_0002.JPG"), photoFile("IMG_0003.JPG"), "/elsewhere/x.jpg"});
  EXPECT_EQ(r.status, 0);
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

TEST_F(TagToolTest, UsageErrorsExitWithTwo) {
  EXPECT_EQ(runTool({"tag", "--root"}).status, 2);
  EXPECT_EQ(runTool({"tag", "--bogus", "x"}).status, 2);
  EXPECT_EQ(runTool({"nosuchcommand"}).status, 2);
  EXPECT_EQ(runTool({}).status, 2);
}

}  // namespace
