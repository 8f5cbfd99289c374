#include <ctime>

#include "harness.h"

namespace qev::e2e {
namespace {

using List = E2eTest;

TEST_F(List, LinesCarryDatesGroupedSizesAndWrappingTotals) {
  // 2021-05-01 09:05 UTC, shown with the local offset in force now, which
  // applies to every stamp alike.
  std::time_t may = 1619859900;
  std::tm fields{};
  const std::time_t now = std::time(nullptr);
  may += localtime_r(&now, &fields)->tm_gmtoff;
  char date[20];
  std::strftime(date, sizeof date, "%Y/%m/%d  %H:%M", gmtime_r(&may, &fields));

  // Listing reads the index alone: the members need no streams.
  const std::uint64_t stamp = 132643335000000000;
  const std::vector<Member> members = {{"data.bin", "", 1234, stamp},
                                       {"b.txt", "", 3000000000, stamp},
                                       {"huge", "", 3000000000, stamp},
                                       {"never", "", 4294967295, 1ull << 63}};
  WriteFile("a.qev", Archive(3, members));
  EXPECT_EQ(Qev({"l", "a.qev"}), OpenLines("l", "a.qev", 3, 4) + date +
                                     "          1,234  data.bin\n" + date +
                                     "  3,000,000,000  b.txt\n" + date +
                                     "  3,000,000,000  huge\n"
                                     // A stamp that no calendar can show keeps the columns.
                                     "   0/00/00  00:00  4,294,967,295  never\n"
                                     "total: 4 files 1,705,033,937 Bytes\n");

  // Filters match whole names without regard to case, each entry once; the
  // file count still counts every entry. Format 4 keeps no dates.
  WriteFile("b.qev", Archive(4, members));
  EXPECT_EQ(Qev({"l", "b.qev", "B.TXT", "b.txt", "data", "*.bin", "HUGE", "DATA.BIN"}),
            OpenLines("l", "b.qev", 4, 4) + "        1,234  data.bin\n3,000,000,000  b.txt\n" +
                "3,000,000,000  huge\ntotal: 3 files 1,705,033,938 Bytes\n");
  WriteFile("c.qev", Archive(4, {}));
  EXPECT_EQ(Qev({"l", "c.qev"}), OpenLines("l", "c.qev", 4, 0) + "total: 0 files   0 Bytes\n");
}

}  // namespace
}  // namespace qev::e2e
