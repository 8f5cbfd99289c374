#include "cli/report.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

TEST(FormatThousands, WidensOnlyAtEachBoundary) {
  EXPECT_EQ(FormatThousands(0), "  0");
  EXPECT_EQ(FormatThousands(7), "  7");
  EXPECT_EQ(FormatThousands(999), "999");
  EXPECT_EQ(FormatThousands(1000), "  1,000");
  EXPECT_EQ(FormatThousands(1005), "  1,005");
  EXPECT_EQ(FormatThousands(65536), " 65,536");
  EXPECT_EQ(FormatThousands(999'999), "999,999");
  EXPECT_EQ(FormatThousands(1'000'000), "  1,000,000");
  EXPECT_EQ(FormatThousands(12'003'045), " 12,003,045");
  EXPECT_EQ(FormatThousands(999'999'999), "999,999,999");
  EXPECT_EQ(FormatThousands(1'000'000'000), "1,000,000,000");
  EXPECT_EQ(FormatThousands(1'000'000'001), "1,000,000,001");
  EXPECT_EQ(FormatThousands(4'294'967'295), "4,294,967,295");
}

}  // namespace
}  // namespace qev
