#include <cstdio>
#include <ctime>

#include "archive_bytes.h"
#include "harness.h"

namespace qev::e2e {
namespace {

class List : public E2eTest {};

// The date and time columns for a stamp, shifted by the local offset in
// force now, which applies to every stamp alike.
std::string DateColumns(std::uint64_t filetime) {
  const std::time_t now = std::time(nullptr);
  std::tm fields{};
  localtime_r(&now, &fields);
  const std::time_t stamp =
      static_cast<std::time_t>(filetime / 10000000 - 11644473600) + timegm(&fields) - now;
  gmtime_r(&stamp, &fields);
  char text[64];
  std::snprintf(text, sizeof text, "%4d/%02d/%02d  %02d:%02d", fields.tm_year + 1900,
                fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min);
  return text;
}

TEST_F(List, Format3LinesCarryDatesGroupedSizesAndWrappingTotals) {
  const std::uint64_t may = 132643335000000000;  // 2021-05-01 09:05 UTC
  std::vector<Member> members = {Stored("data.bin", "", may), Stored("b.txt", "", may),
                                 Stored("huge", "", may), Stored("never", "", 1ull << 63)};
  members[0].size = 1234;
  members[1].size = members[2].size = 3000000000;
  members[3].size = 4294967295;
  WriteFile("a.qev", Format3Archive(members));

  const std::string date = DateColumns(may);
  EXPECT_EQ(Qev({"l", "a.qev"}).out,
            OpenLines("l", "a.qev", 3, 4) + date + "          1,234  data.bin\n" + date +
                "  3,000,000,000  b.txt\n" + date +
                "  3,000,000,000  huge\n"
                // A stamp that no calendar can show keeps the line's columns.
                "   0/00/00  00:00  4,294,967,295  never\n"
                "total: 4 files 1,705,033,937 Bytes\n");

  // Filters match whole names without regard to case, each entry once; the
  // file count still counts every entry.
  EXPECT_EQ(Qev({"l", "a.qev", "B.TXT", "b.txt", "data", "*.bin", "HUGE"}).out,
            OpenLines("l", "a.qev", 3, 4) + date + "  3,000,000,000  b.txt\n" + date +
                "  3,000,000,000  huge\ntotal: 2 files 1,705,032,704 Bytes\n");

  WriteFile("none.qev", Format4Archive({}));
  EXPECT_EQ(Qev({"l", "none.qev"}).out,
            OpenLines("l", "none.qev", 4, 0) + "total: 0 files   0 Bytes\n");
}

}  // namespace
}  // namespace qev::e2e
