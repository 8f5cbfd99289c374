#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <optional>

#include "platform/platform.h"
#include "scratch_dir.h"

namespace qev::platform {
namespace {

using PlatformTest = qev::testing::ScratchDirTest;

FILETIME Ticks(std::uint64_t ticks) {
  return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}
std::uint64_t Ticks(const FILETIME& t) {
  return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

std::vector<std::string> Find(const std::string& pattern) {
  std::vector<std::string> names;
  for (const auto& e : FindEntries(pattern)) names.push_back(e.name + (e.isDirectory ? "/" : ""));
  return names;
}

TEST_F(PlatformTest, DeleteRefusesAFileBeingCreated) {
  const NativeFile file = CreateNewForWrite("creating");
  ASSERT_NE(file, kInvalidFile);
  EXPECT_FALSE(DeletePath("creating"));
  EXPECT_TRUE(CloseFile(file));
  EXPECT_TRUE(DeletePath("creating"));
  EXPECT_FALSE(Exists("creating"));
}

#ifdef _WIN32
// Windows matches without case, takes '\\' as a separator too, reports the
// directory itself and its parent, and delivers entries in the file
// system's order (sorted here). Short 8.3 names match too, so the patterns
// stay clear of what those may hold.
TEST_F(PlatformTest, FindEntriesMatchesTheLastComponentOnly) {
  for (const char* name : {"b.txt", "A.txt", ".hidden", "ab", "x[1]"}) WriteFile(name, "");
  std::filesystem::create_directory("sub");
  WriteFile("sub/y.txt", "");
  const auto sortedFind = [](const std::string& pattern) {
    std::vector<std::string> names = Find(pattern);
    std::sort(names.begin(), names.end());
    return names;
  };

  using V = std::vector<std::string>;
  EXPECT_EQ(sortedFind("*"), (V{"../", "./", ".hidden", "A.txt", "ab", "b.txt", "sub/", "x[1]"}));
  EXPECT_EQ(sortedFind("?.TXT"), (V{"A.txt", "b.txt"}));
  EXPECT_EQ(sortedFind("?B"), (V{"ab"}));
  EXPECT_EQ(sortedFind("x[1]"), (V{"x[1]"}));
  EXPECT_EQ(sortedFind("sub\\y.t?t"), (V{"y.txt"}));
  EXPECT_EQ(sortedFind(".\\SUB/Y.TXT"), (V{"y.txt"}));
  EXPECT_EQ(sortedFind(dir_.string() + "\\a*"), (V{"A.txt", "ab"}));
  for (const char* none : {"", "c.txt", "missing\\*", "*\\y.txt"}) {
    EXPECT_TRUE(FindEntries(none).empty()) << none;
  }
}
#else
TEST_F(PlatformTest, FindEntriesMatchesTheLastComponentOnly) {
  for (const char* name : {"b.txt", "a.txt", "A.TXT", ".hidden", "ab", "x[1]", "\xE9"}) {
    WriteFile(name, "");
  }
  mkdir("sub", 0755);
  WriteFile("sub/y.txt", "");
  ASSERT_EQ(symlink("sub", "link"), 0);

  using V = std::vector<std::string>;
  EXPECT_EQ(Find("*"),
            (V{".hidden", "A.TXT", "a.txt", "ab", "b.txt", "link/", "sub/", "x[1]", "\xE9"}));
  EXPECT_EQ(Find("?.txt"), (V{"a.txt", "b.txt"}));
  EXPECT_EQ(Find("*b*"), (V{"ab", "b.txt", "sub/"}));
  EXPECT_EQ(Find("x[1]"), (V{"x[1]"}));
  EXPECT_EQ(Find("link/y.t?t"), (V{"y.txt"}));
  EXPECT_EQ(Find("./sub/y.txt"), (V{"y.txt"}));
  EXPECT_EQ(Find(dir_.string() + "/a*"), (V{"a.txt", "ab"}));
  EXPECT_EQ(Find(std::string(5000, '*')).size(), 9u);
  for (const std::string& none :
       {std::string(), std::string("A.txt"), std::string("sub/"), std::string(".."),
        std::string("missing/*"), std::string("*/y.txt"), std::string(5000, 'a'),
        std::string(5000, '*') + "z", std::string("a\0*", 3)}) {
    EXPECT_TRUE(FindEntries(none).empty()) << none.substr(0, 20);
  }
}
#endif

std::optional<std::vector<int>> Calendar(std::uint64_t ticks) {
  CalendarTime c;
  if (!FileTimeToCalendar(Ticks(ticks), &c)) return std::nullopt;
  return std::vector<int>{c.year, c.month,  c.day,    c.dayOfWeek,
                          c.hour, c.minute, c.second, c.milliseconds};
}

TEST(PlatformTime, CalendarHasNo2038Limit) {
  constexpr std::uint64_t kSecond = 10'000'000;
  constexpr std::uint64_t kUnixEpoch = 116'444'736'000'000'000;
  using V = std::vector<int>;
  EXPECT_EQ(Calendar(0), (V{1601, 1, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(Calendar(kUnixEpoch), (V{1970, 1, 1, 4, 0, 0, 0, 0}));
  EXPECT_EQ(Calendar(kUnixEpoch + 951'827'696 * kSecond + 7'899'999),
            (V{2000, 2, 29, 2, 12, 34, 56, 789}));
  EXPECT_EQ(Calendar(kUnixEpoch + 2'147'483'648 * kSecond), (V{2038, 1, 19, 2, 3, 14, 8, 0}));
  EXPECT_EQ(Calendar(kUnixEpoch + 4'107'628'799 * kSecond), (V{2100, 3, 1, 1, 23, 59, 59, 0}));
  EXPECT_EQ(Calendar((1ull << 63) - 1), (V{30828, 9, 14, 4, 2, 48, 5, 477}));
  EXPECT_EQ(Calendar(1ull << 63), std::nullopt);
}

// Every stamp gets the offset in force now, summer or winter.
#ifdef _WIN32
// The zone is the system's, not one that a test can set: both stamps move
// by the same offset.
TEST(PlatformTime, LocalTimeUsesTodaysOffset) {
  FILETIME winter;
  FILETIME summer;
  ASSERT_TRUE(FileTimeToLocal(Ticks(133'485'408'000'000'000ull), &winter));
  ASSERT_TRUE(FileTimeToLocal(Ticks(133'642'656'000'000'000ull), &summer));
  EXPECT_EQ(Ticks(winter) - 133'485'408'000'000'000ull, Ticks(summer) - 133'642'656'000'000'000ull);
}
#else
TEST(PlatformTime, LocalTimeUsesTodaysOffset) {
  const char* saved = getenv("TZ");
  const std::string previous = saved ? saved : "";
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  tzset();
  const time_t now = time(nullptr);
  tm parts;
  localtime_r(&now, &parts);
  for (const std::uint64_t stamp : {133'485'408'000'000'000ull, 133'642'656'000'000'000ull}) {
    FILETIME local;
    ASSERT_TRUE(FileTimeToLocal(Ticks(stamp), &local));
    EXPECT_EQ(static_cast<std::int64_t>(Ticks(local) - stamp), parts.tm_gmtoff * 10'000'000);
  }
  FILETIME out;
  EXPECT_FALSE(FileTimeToLocal(Ticks(0), &out));  // would fall before 1601
  saved ? setenv("TZ", previous.c_str(), 1) : unsetenv("TZ");
  tzset();
}
#endif

}  // namespace
}  // namespace qev::platform
