#include "tests/support/device_image_fixture.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/state/shared_state.h"
#include "platform/kernel/device_image.h"
#include "platform/core/host_calls.h"
#include "res/resources.h"

std::string makeTempDir(const char* prefix) {
  const char* tmp = getenv("TMPDIR");
  std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + prefix + "-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back(0);
  if (!mkdtemp(buf.data())) abort();
  return buf.data();
}

void removeTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

TempDeviceImage::TempDeviceImage() : root_(makeTempDir("vt-device")) {
  setDeviceRoot(root_);
  setCom1Path("");
  if (!prepareDeviceImage()) abort();
}

TempDeviceImage::~TempDeviceImage() { removeTree(root_); }

void DeviceImageTest::SetUp() {
  resetHostCalls();
  resetSharedState();
  // As the program's entry hands them over before anything else.
  setModuleResources(&programResources());
  image = new TempDeviceImage();
}

void DeviceImageTest::TearDown() {
  delete image;
  image = nullptr;
  resetHostCalls();
}

std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool writeWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

bool fileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string commandOutput(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}
