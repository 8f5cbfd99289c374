#include <cstdlib>
#include <ctime>
#include <tuple>

#include "harness.h"

namespace qev::e2e {
namespace {

using List = E2eTest;

constexpr std::int64_t kSecond = 10'000'000;
constexpr std::uint64_t kUnixEpoch = 11'644'473'600 * kSecond;

// The listing's date for a stamp, with today's offset; zeros past a calendar.
std::string Date(std::uint64_t stamp) {
  std::tm fields{};
  const std::time_t now = std::time(nullptr);
  const std::int64_t offset = localtime_r(&now, &fields)->tm_gmtoff * kSecond;
  const std::uint64_t local = stamp + static_cast<std::uint64_t>(offset);
  if ((offset < 0) != (local < stamp) || local >= 1ull << 63) return "   0/00/00  00:00";
  const std::int64_t sinceUnix = static_cast<std::int64_t>(local - kUnixEpoch);
  const std::time_t seconds = sinceUnix / kSecond - (sinceUnix % kSecond < 0);
  char date[32];
  std::strftime(date, sizeof date, "%Y/%m/%d  %H:%M", gmtime_r(&seconds, &fields));
  return date;
}

// value grouped by thousands as l shows it, right-aligned in width columns.
std::string Grouped(std::uint32_t value, std::size_t width = 0) {
  const std::string digits = std::to_string(value);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text.push_back(',');
    text.push_back(digits[i]);
  }
  if (value < 1'000'000'000) text = std::string(3 - text.size() % 4, ' ').append(text);
  return std::string(width > text.size() ? width - text.size() : 0, ' ').append(text);
}

// What l prints for the rows of a format-3 or format-4 archive of count entries.
std::string Listed(const std::string& path, int format, std::size_t count,
                   const std::vector<Member>& rows) {
  std::string out = OpenLines("l", path, format, count);
  std::uint32_t total = 0;
  for (const Member& row : rows) {
    out +=
        (format == 3 ? Date(row.time) + "  " : "") + Grouped(row.size, 13) + "  " + row.name + "\n";
    total += row.size;
  }
  return out + "total: " + std::to_string(rows.size()) + " files " + Grouped(total) + " Bytes\n";
}

// Dates at the calendar's edges, sizes at each group width, wrapping sums.
TEST_F(List, DatesSizesFiltersAndTotals) {
  if (!IsWindows()) setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  tzset();
  const std::vector<Member> rows = {{"n0", "", 0, 0},
                                    {"n1", "", 999, kUnixEpoch + 951'827'696 * kSecond + 7'899'999},
                                    {"n2", "", 1000, kUnixEpoch + 2'147'483'648 * kSecond},
                                    {"n3", "", 65536, kUnixEpoch + 4'107'628'799 * kSecond},
                                    {"n4", "", 999'999, (1ull << 63) - 1},
                                    {"n5", "", 1'000'000, ~0ull},
                                    {"n6", "", 999'999'999, 132'643'335'000'000'000},
                                    {"n7", "", 1'000'000'000, 132'643'335'000'000'000},
                                    {"n8", "", 4'294'967'295, 0}};
  WriteFile("a.qev", Archive(3, rows));
  EXPECT_EQ(Qev({"l", "a.qev"}), Listed("a.qev", 3, 9, rows));
  // Filters match whole names without regard to case, each entry once.
  WriteFile("b.qev", Archive(4, rows));
  EXPECT_EQ(Qev({"l", "b.qev", "N1", "n1", "n", "*", "N8"}),
            Listed("b.qev", 4, 9, {rows[1], rows[8]}));
}

// Indexes whole, cut (zeros), with a 256-byte name (255) and impossible.
TEST_F(List, IndexesWholeCutAndImpossible) {
  const std::uint64_t hello = 100ull << 32 | 200;
  const std::string hello3 =
      Hex("51 45 56 33 00 41 C0 00 00 00 00 00 00 B4 59 6D 96 CB 7C 82 EF 6F B9 5B 2C 80 00 00 "
          "19 0C 84 1B DC 0D 02 D8 40 00");
  EXPECT_EQ(Archive(3, {Stored("a", "hello world", hello)}), hello3);  // the encoders' anchor
  Bits wide;  // every number in the widest class, an unterminated name, then b
  for (const std::uint32_t value : {1u, 2u, 3u, 13u, 5u}) wide.Put(2, 3).Put(32, value);
  for (int i = 0; i < 256; ++i) wide.Put(8, 'x');
  for (const std::uint32_t value : {0u, 0u, 0u, 20u, 0u}) wide.Put(10, value);
  const std::string wide3 = Header3(2, 13) + wide.Put(16, 'b' << 8).bytes;
  const std::string x255(255, 'x');
  const std::string plain = Plain4("a", 16, 0x55667788) + Plain4("b", 2, 3);
  // A 256-byte name without its NUL, then its offset 40 and size 41.
  const std::string long4 =
      Header4(2, 16, 0) +
      LiteralStream(Plain4(std::string(256, 'x'), 40, 41).erase(256, 1) + Plain4("b", 5, 6));
  // "a" (offset 16, size 0): literals 61 00 10, then eleven zeros from the window.
  const std::string ref4 = Header4(1, 18, 14) + Hex("00 00 B0 C0 22 00 32 40 00 00");
  // Cut inside b's offset; the third entry lies past the table.
  const std::string cut4 = Header4(3, 16, 40) + LiteralStream(plain.substr(0, 18));
  const std::vector<std::tuple<std::string, int, std::size_t, std::vector<Member>>> cases = {
      {hello3, 3, 1, {{"a", "", 11, hello}}},
      {hello3.substr(0, 28), 3, 1, {{"", "", 0, 0}}},
      {Header3(0, 13), 3, 0, {}},
      {Header3(1, 20).append(7, '\0'), 3, 1, {{"", "", 0, 0}}},  // the table at the end
      {"QEV3", 3, 0, {}},
      {wide3, 3, 2, {{x255, "", 5, 1ull << 32 | 2}, {"b", "", 0, 0}}},
      {ref4, 4, 1, {{"a", "", 0}}},
      {cut4, 4, 3, {{"a", "", 0x55667788}, {"b", "", 0}, {"", "", 0}}},
      {long4, 4, 2, {{x255, "", 41}, {"b", "", 6}}},
      {"", 0, 0, {}},
      {"QEV", 0, 0, {}},
      {std::string(16, '\0'), 0, 0, {}},
      {Header3(0, 14), 0, 0, {}},
      {Header3(100000, 13).append(4096 - 13, '\0'), 0, 0, {}},
      {Header4(0, 19, 0) + Hex("00 00"), 0, 0, {}},
      {Header4(100000, 16, 0).append(4096 - 16, '\0'), 0, 0, {}}};
  for (const auto& [archive, format, count, rows] : cases) {
    SCOPED_TRACE(archive.size());
    WriteFile("a.qev", archive);
    EXPECT_EQ(Qev({"l", "a.qev"}),
              format ? Listed("a.qev", format, count, rows) : Echo("l", "a.qev"));
  }
  // A table size far beyond the stored table's sizes nothing; an index not
  // fitting in 128 MiB (9,000,000 entries in 64 MiB) is no archive.
  if (!MemoryLimitApplies()) return;
  WriteFile("a.qev", Header4(1, 16, 0xFFFFFFFF) + LiteralStream(plain));
  EXPECT_EQ(Qev({"l", "a.qev"}, "-v 131072"), Listed("a.qev", 4, 1, {{"a", "", 0x55667788}}));
  WriteFile("a.qev", Header3(9000000, (64u << 20) - 8));
  fs::resize_file("a.qev", 64u << 20);
  EXPECT_EQ(Qev({"l", "a.qev"}, "-v 131072"), Echo("l", "a.qev"));
}

}  // namespace
}  // namespace qev::e2e
