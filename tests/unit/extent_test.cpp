#include "formats/extent.h"

#include <gtest/gtest.h>

#include <vector>

namespace qev {
namespace {

struct OffsetOnly {
  std::uint32_t offset;
};

void ExpectExtent(MemberExtent got, std::uint32_t start, std::uint32_t length) {
  EXPECT_EQ(got.start, start);
  EXPECT_EQ(got.length, length);
}

TEST(Extent, RunsToTheNextOffsetAndTheLastToTheTable) {
  const std::vector<OffsetOnly> entries = {{13}, {15}, {30}};
  ExpectExtent(FindMemberExtent(entries, 0, 40, 50), 13, 2);
  ExpectExtent(FindMemberExtent(entries, 1, 40, 50), 15, 15);
  ExpectExtent(FindMemberExtent(entries, 2, 40, 50), 30, 10);
}

TEST(Extent, DamagedIndexNeverReachesPastTheArchive) {
  // An end before the start runs to the end of the archive, not round 4 GiB.
  ExpectExtent(ClampExtent(30, 20, 100), 30, 70);
  ExpectExtent(ClampExtent(30, 200, 100), 30, 70);
  ExpectExtent(ClampExtent(100, 200, 100), 100, 0);
  ExpectExtent(ClampExtent(0xFFFFFFFF, 0, 100), 0xFFFFFFFF, 0);
  ExpectExtent(ClampExtent(13, 13, 100), 13, 0);
  const std::vector<OffsetOnly> swapped = {{40}, {13}};
  ExpectExtent(FindMemberExtent(swapped, 0, 60, 70), 40, 30);
  ExpectExtent(FindMemberExtent(swapped, 1, 60, 70), 13, 47);
}

}  // namespace
}  // namespace qev
