#include "driver/exit_code.h"

#include <gtest/gtest.h>

namespace dbrunner {
namespace {

TEST(ToExitCode, NeverTurnsAFailureIntoSuccess) {
  struct Row {
    std::int32_t status;
    int expected;
  };
  static const Row kRows[] = {
#ifdef _WIN32
      {0, 0},
      {3, 3},
      {-942, -942},
      {-1536, -1536},
#else
      {0, 0},       {1, 1},     {3, 3},     {-1, 255},    {-942, 82},
      {-1536, 255}, {256, 255}, {-19, 237}, {-2067, 237}, {2147483647, 255},
#endif
  };
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.status);
    EXPECT_EQ(ToExitCode(row.status), row.expected);
  }
}

}  // namespace
}  // namespace dbrunner
