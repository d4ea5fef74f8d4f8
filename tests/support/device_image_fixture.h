// A fresh device image in a temporary folder for each test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Makes a temporary folder, points the device root at it and prepares the
// image; removes it all afterwards.
class TempDeviceImage {
 public:
  TempDeviceImage();
  ~TempDeviceImage();
  TempDeviceImage(const TempDeviceImage&) = delete;
  TempDeviceImage& operator=(const TempDeviceImage&) = delete;

  const std::string& root() const { return root_; }
  std::string path(const std::string& relative) const { return root_ + "/" + relative; }

 private:
  std::string root_;
};

class DeviceImageTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  TempDeviceImage* image = nullptr;
};

// Small file helpers for tests.
std::string readWholeFile(const std::string& path);
bool writeWholeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
std::string makeTempDir(const char* prefix);
void removeTree(const std::string& path);
// What a shell command prints on standard output.
std::string commandOutput(const std::string& command);
