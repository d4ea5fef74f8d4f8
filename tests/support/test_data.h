// The test data that travels with the project (tests/data, see its README):
// receiver captures under nmea/, camera photos under photos/.
#pragma once

#include <string>

// The path of `relative` under tests/data of this source tree.
std::string testDataPath(const std::string& relative);
