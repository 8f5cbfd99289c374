#include <cstdio>
#include <ctime>

#include "archive_bytes.h"
#include "harness.h"

namespace qev::e2e {
namespace {

class List : public E2eTest {};

constexpr std::uint64_t kUnixEpoch = 116444736000000000;  // 1970-01-01 as a FILETIME

// The date and time columns for a stamp, shifted by the local offset in
// force now (the one offset that applies to every stamp).
std::string DateColumns(std::uint64_t filetime) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::time_t offset = timegm(&local) - now;
  const std::time_t stamp = static_cast<std::time_t>((filetime - kUnixEpoch) / 10000000) + offset;
  std::tm fields{};
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
  members[1].size = 3000000000;
  members[2].size = 3000000000;
  members[3].size = 4294967295;
  WriteFile("a.qev", Format3Archive(members));

  const std::string date = DateColumns(may);
  EXPECT_EQ(Qev({"l", "a.qev"}).out,
            "command: l , file: a.qev\n"
            "open... a.qev is QEV3 file.\n"
            "file count: 4\n" +
                date + "          1,234  data.bin\n" + date + "  3,000,000,000  b.txt\n" + date +
                "  3,000,000,000  huge\n"
                // A stamp no calendar can show keeps the line's columns.
                "   0/00/00  00:00  4,294,967,295  never\n"
                "total: 4 files 1,705,033,937 Bytes\n");

  // Filters compare whole names without regard to case, each entry once;
  // the file count still counts every entry.
  const RunResult filtered = Qev({"l", "a.qev", "B.TXT", "b.txt", "data", "*.bin", "HUGE"});
  EXPECT_EQ(filtered.out,
            "command: l , file: a.qev\n"
            "open... a.qev is QEV3 file.\n"
            "file count: 4\n" +
                date + "  3,000,000,000  b.txt\n" + date +
                "  3,000,000,000  huge\n"
                "total: 2 files 1,705,032,704 Bytes\n");
  EXPECT_EQ(filtered.status, 0);
}

TEST_F(List, Format4TablesWithBackReferencesAndEmptyArchives) {
  // One empty member a; the table stream refers back into a zero window.
  WriteFile("one.qev", "QEV4" + Le32(1) + Le32(18) + Le32(14) + Bytes({0, 0}) +
                           Bytes({0xB0, 0xC0, 0x22, 0x00, 0x32, 0x40, 0x00, 0x00}));
  EXPECT_EQ(Qev({"L", "one.qev"}).out,
            "command: L , file: one.qev\n"
            "open... one.qev is QEV4 file.\n"
            "file count: 1\n"
            "            0  a\n"
            "total: 1 files   0 Bytes\n");

  WriteFile("none.qev", Format4Archive({}));
  EXPECT_EQ(Qev({"l", "none.qev", "a"}).out,
            "command: l , file: none.qev\n"
            "open... none.qev is QEV4 file.\n"
            "file count: 0\n"
            "total: 0 files   0 Bytes\n");
}

TEST_F(List, FilesOfNeitherFormatPrintOnlyTheEcho) {
  // A creation that stopped early leaves its header area zero.
  WriteFile("stopped.qev", std::string(40, '\0'));
  WriteFile("text.qev", "QEV5 is no archive");
  for (const char* path : {"stopped.qev", "text.qev"}) {
    for (const char* command : {"l", "x"}) {
      EXPECT_EQ(Qev({command, path}).out,
                std::string("command: ") + command + " , file: " + path + "\n");
    }
  }
}

}  // namespace
}  // namespace qev::e2e
