#include "tests/support/test_data.h"

std::string testDataPath(const std::string& relative) {
  return std::string(VT_SOURCE_DIR) + "/tests/data/" + relative;
}
