#include "cli/report.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

// Each column widens only at its boundary; the largest value fills 13.
TEST(FormatThousands, WidensOnlyAtEachBoundary) {
  const std::pair<std::uint32_t, const char*> cases[] = {{0, "  0"},
                                                         {999, "999"},
                                                         {1000, "  1,000"},
                                                         {65536, " 65,536"},
                                                         {999'999, "999,999"},
                                                         {1'000'000, "  1,000,000"},
                                                         {999'999'999, "999,999,999"},
                                                         {1'000'000'000, "1,000,000,000"},
                                                         {4'294'967'295, "4,294,967,295"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(FormatThousands(value), text);
}

}  // namespace
}  // namespace qev
