// The host call behind a failed CE call, for a test's failure message:
//   EXPECT_TRUE(CopyFileW(a, b, FALSE)) << hostFailureNote();
#pragma once

#include <string>

// "last host failure: open /x/y: No such file or directory (CE error 2)", or
// a line saying that no host call's failure is behind the last error.
std::string hostFailureNote();
