// A device image with a photo folder on its card, and the day log that holds
// a fix for a photo's time.
#pragma once

#include <sys/stat.h>

#include <string>

#include "app/state/shared_state.h"
#include "geotag/gps_insert.h"
#include "geotag/tag_outcome.h"
#include "platform/core/wide_text.h"
#include "tests/geotag/crafted_jpeg.h"
#include "tests/geotag/track_log.h"

constexpr char kPhotoTime[] = "2010:06:05 14:30:07";

class PhotoTest : public DeviceImageTest {
 protected:
  void SetUp() override {
    DeviceImageTest::SetUp();
    ::mkdir(image->path("SDMMC/DCIM").c_str(), 0777);
    ::mkdir(image->path("SDMMC/DCIM/100CAM").c_str(), 0777);
    writeTrackLog(*image, "050610", {{41407, 5545.1234f, 'N', 3737.5678f, 'E'}});
  }
  std::string photoFile(const std::string& name = "IMG_0001.JPG") {
    return image->path("SDMMC/DCIM/100CAM/" + name);
  }
  std::u16string photoName(const std::string& name = "IMG_0001.JPG") {
    return utf16FromUtf8("\\SDMMC\\DCIM\\100CAM\\" + name);
  }
  std::string tempFile() { return image->path("SDMMC/DCIM/vellumtrace-tagging.tmp"); }
  // Writes the photo, tags it, and returns insertGpsIfd's result.
  int tag(const std::string& jpeg, const std::string& name = "IMG_0001.JPG") {
    writeWholeFile(photoFile(name), jpeg);
    return insertGpsIfd(photoName(name).c_str());
  }
  // The photo is exactly `jpeg` again and no temporary file was left.
  void expectUntouched(const std::string& jpeg, const std::string& name = "IMG_0001.JPG") {
    EXPECT_TRUE(readWholeFile(photoFile(name)) == jpeg) << "the photo was changed";
    EXPECT_FALSE(fileExists(tempFile()));
  }
};
