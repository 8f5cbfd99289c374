#include "cli/report.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

// Each column widens only at its boundary; the largest value fills 13.
TEST(FormatThousands, WidensOnlyAtEachBoundary) {
  const std::uint32_t values[] = {0,         999,         1000,          65536,        999'999,
                                  1'000'000, 999'999'999, 1'000'000'000, 4'294'967'295};
  const char* const texts[] = {"  0",         "999",           "  1,000",
                               " 65,536",     "999,999",       "  1,000,000",
                               "999,999,999", "1,000,000,000", "4,294,967,295"};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(FormatThousands(values[i]), texts[i]);
}

}  // namespace
}  // namespace qev
