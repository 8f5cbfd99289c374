#include <gtest/gtest.h>

#include <string>

#include "cli/progress_line.h"

namespace qev {
namespace {

// Units of 1024 in tenths; no percent without a total; long names cut.
TEST(ProgressText, ShowsSizesShareRateAndMember) {
  EXPECT_EQ(ProgressText(0, 0, 0, ""), "0 B");
  EXPECT_EQ(ProgressText(1023, 1024, 1, "a"), "1023 B of 1.0 KiB   99%  1023 B/s  a");
  EXPECT_EQ(ProgressText(1048524, 0, 2, "-"), "1023.9 KiB  512.0 KiB/s  -");
  EXPECT_EQ(ProgressText(5ull << 40, 3ull << 30, 0.5, ""), "5.0 TiB of 3.0 GiB  100%  10.0 TiB/s");
  const std::string name = std::string(100, 'n') + ".end";
  const std::string text = ProgressText(1048576, 1048576 * 2, 1, name);
  EXPECT_EQ(text.size(), ProgressLine::kWidth);
  EXPECT_TRUE(text.starts_with("1.0 MiB of 2.0 MiB   50%  1.0 MiB/s  ...nnn")) << text;
  EXPECT_TRUE(text.ends_with("n.end")) << text;
}

}  // namespace
}  // namespace qev
