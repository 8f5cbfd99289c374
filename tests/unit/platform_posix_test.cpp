#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

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

std::vector<std::string> Names(const std::vector<FoundEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& e : entries) names.push_back(e.name + (e.isDirectory ? "/" : ""));
  return names;
}

TEST_F(PlatformTest, OpenForReadTakesExistingRegularFilesOnly) {
  WriteFile("f", "x");
  mkdir("d", 0755);
  ASSERT_EQ(mkfifo("pipe", 0644), 0);
  EXPECT_EQ(OpenExistingForRead("missing"), kInvalidFile);
  EXPECT_EQ(OpenExistingForRead("d"), kInvalidFile);
  EXPECT_EQ(OpenExistingForRead("pipe"), kInvalidFile);  // and does not hang
  EXPECT_EQ(OpenExistingForRead(""), kInvalidFile);
  const NativeFile f = OpenExistingForRead("f");
  ASSERT_NE(f, kInvalidFile);
  // Readers share.
  const NativeFile g = OpenExistingForRead("f");
  EXPECT_NE(g, kInvalidFile);
  EXPECT_TRUE(CloseFile(g));
  EXPECT_TRUE(CloseFile(f));
}

TEST_F(PlatformTest, CreationIsExclusiveAndKeepsReadersOut) {
  WriteFile("old", "keep");
  mkdir("d", 0755);
  ASSERT_EQ(symlink("nowhere", "dangling"), 0);
  EXPECT_EQ(CreateNewForWrite("old"), kInvalidFile);
  EXPECT_EQ(CreateNewForWrite("d"), kInvalidFile);
  EXPECT_EQ(CreateNewForWrite("dangling"), kInvalidFile);
  EXPECT_FALSE(Exists("nowhere"));
  EXPECT_EQ(ReadFile("old"), "keep");

  const NativeFile w = CreateNewForWrite("new");
  ASSERT_NE(w, kInvalidFile);
  EXPECT_EQ(OpenExistingForRead("new"), kInvalidFile);
  EXPECT_TRUE(CloseFile(w));
  const NativeFile r = OpenExistingForRead("new");
  EXPECT_NE(r, kInvalidFile);
  EXPECT_TRUE(CloseFile(r));
}

TEST_F(PlatformTest, DeleteRefusesWhatWindowsRefuses) {
  mkdir("d", 0755);
  WriteFile("ro", "r");
  chmod("ro", 0444);
  WriteFile("held", "h");
  WriteFile("plain", "p");
  WriteFile("target", "t");
  ASSERT_EQ(symlink("target", "link"), 0);

  EXPECT_FALSE(DeletePath("d"));
  EXPECT_FALSE(DeletePath("ro"));
  EXPECT_FALSE(DeletePath("missing"));
  const NativeFile h = OpenExistingForRead("held");
  ASSERT_NE(h, kInvalidFile);
  EXPECT_FALSE(DeletePath("held"));
  EXPECT_TRUE(CloseFile(h));
  const NativeFile c = CreateNewForWrite("creating");
  EXPECT_FALSE(DeletePath("creating"));
  EXPECT_TRUE(CloseFile(c));

  EXPECT_TRUE(Exists("d") && Exists("ro") && Exists("held") && Exists("creating"));
  EXPECT_TRUE(DeletePath("held"));
  EXPECT_TRUE(DeletePath("plain"));
  EXPECT_TRUE(DeletePath("link"));
  EXPECT_FALSE(Exists("held") || Exists("plain") || Exists("link"));
  EXPECT_EQ(ReadFile("target"), "t");
}

TEST_F(PlatformTest, TimesRoundTripAtFullPrecision) {
  const NativeFile f = CreateNewForWrite("t");
  ASSERT_NE(f, kInvalidFile);
  // 2025 with a 100 ns remainder; 1949 lies before the POSIX epoch; the
  // last one lies past 2038.
  for (const std::uint64_t ticks :
       {134'000'000'000'000'001ull, 110'000'000'000'000'007ull, 150'000'000'000'000'003ull}) {
    ASSERT_TRUE(SetFileTimes(f, Ticks(ticks)));
    FILETIME back;
    ASSERT_TRUE(GetFileWriteTime(f, &back));
    EXPECT_EQ(Ticks(back), ticks);
    struct stat st;
    ASSERT_EQ(fstat(static_cast<int>(f), &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, st.st_mtim.tv_sec);
    EXPECT_EQ(st.st_atim.tv_nsec, st.st_mtim.tv_nsec);
  }
  EXPECT_TRUE(CloseFile(f));
}

TEST_F(PlatformTest, FindEntriesMatchesTheLastComponentOnly) {
  for (const char* name :
       {"b.txt", "a.txt", "A.TXT", ".hidden", "ab", "abc", "x[1]", "\xE9t\xE9"}) {
    WriteFile(name, "");
  }
  mkdir("sub", 0755);
  mkdir("sub.txt", 0755);
  WriteFile("sub/y.txt", "");
  ASSERT_EQ(symlink("sub", "linkdir"), 0);

  using V = std::vector<std::string>;
  EXPECT_EQ(Names(FindEntries("*")), (V{".hidden", "A.TXT", "a.txt", "ab", "abc", "b.txt",
                                        "linkdir/", "sub/", "sub.txt/", "x[1]", "\xE9t\xE9"}));
  EXPECT_EQ(Names(FindEntries("*.txt")), (V{"a.txt", "b.txt", "sub.txt/"}));
  EXPECT_EQ(Names(FindEntries("a?")), (V{"ab"}));
  EXPECT_EQ(Names(FindEntries("*b*")), (V{"ab", "abc", "b.txt", "sub/", "sub.txt/"}));
  EXPECT_EQ(Names(FindEntries("x[1]")), (V{"x[1]"}));  // no character classes
  EXPECT_EQ(Names(FindEntries("sub/*.txt")), (V{"y.txt"}));
  EXPECT_EQ(Names(FindEntries("./sub/y.txt")), (V{"y.txt"}));
  EXPECT_EQ(Names(FindEntries("linkdir/y.t?t")), (V{"y.txt"}));
  EXPECT_EQ(Names(FindEntries("a.txt")), (V{"a.txt"}));
  EXPECT_EQ(Names(FindEntries("sub")), (V{"sub/"}));
  EXPECT_EQ(Names(FindEntries(dir_.string() + "/a*")), (V{"a.txt", "ab", "abc"}));
  // Nothing, and no crash, for what matches nothing or cannot be searched.
  for (const std::string& none :
       {std::string(), std::string("A.txt"), std::string("sub/"), std::string("."),
        std::string(".."), std::string("missing/*"), std::string("*/y.txt"), std::string("a.txt/*"),
        std::string(5000, '*') + "z", std::string(5000, 'a'), std::string(5000, '/') + "*",
        std::string("a\0*", 3)}) {
    EXPECT_TRUE(FindEntries(none).empty()) << none.substr(0, 40);
  }
  EXPECT_EQ(Names(FindEntries(std::string(5000, '*'))).size(), 11u);
  EXPECT_EQ(Names(FindEntries(std::string(300, '?') + "*")).size(), 0u);
}

TEST(PlatformNames, CaseFoldsAsciiLettersOnly) {
  EXPECT_TRUE(EqualIgnoringCase("Readme.TXT", "readme.txt"));
  EXPECT_TRUE(EqualIgnoringCase("", ""));
  EXPECT_FALSE(EqualIgnoringCase("readme", "readme.txt"));
  EXPECT_FALSE(EqualIgnoringCase("readme.txt", "readme"));
  EXPECT_FALSE(EqualIgnoringCase("\xC9", "\xE9"));  // not ASCII: exact
  EXPECT_FALSE(EqualIgnoringCase("@", "`"));        // 0x40 and 0x60 differ by the case bit
  EXPECT_FALSE(EqualIgnoringCase("[", "{"));
  EXPECT_FALSE(IsPathSeparator('\\'));
  EXPECT_TRUE(IsPathSeparator('/'));
  EXPECT_FALSE(IsDeviceOrStreamName("CON"));
  EXPECT_FALSE(IsDeviceOrStreamName("a:b"));
}

struct Civil {
  int year, month, day, dow, hour, minute, second, ms;
  bool operator==(const Civil&) const = default;
};

std::optional<Civil> Calendar(std::uint64_t ticks) {
  CalendarTime c;
  if (!FileTimeToCalendar(Ticks(ticks), &c)) return std::nullopt;
  return Civil{c.year, c.month, c.day, c.dayOfWeek, c.hour, c.minute, c.second, c.milliseconds};
}

TEST(PlatformTime, CalendarHasNo2038Limit) {
  constexpr std::uint64_t kSecond = 10'000'000;
  constexpr std::uint64_t kUnixEpoch = 116'444'736'000'000'000;
  EXPECT_EQ(Calendar(0), (Civil{1601, 1, 1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(Calendar(kUnixEpoch), (Civil{1970, 1, 1, 4, 0, 0, 0, 0}));
  // 2000-02-29 12:34:56.789 (a leap day of a year divisible by 400).
  EXPECT_EQ(Calendar(kUnixEpoch + 951'827'696 * kSecond + 7'899'999),
            (Civil{2000, 2, 29, 2, 12, 34, 56, 789}));
  // 2038-01-19 03:14:08, one second past the 32-bit limit.
  EXPECT_EQ(Calendar(kUnixEpoch + 2'147'483'648 * kSecond), (Civil{2038, 1, 19, 2, 3, 14, 8, 0}));
  // 2100-03-01 (2100 is not a leap year), 23:59:59.999.
  EXPECT_EQ(Calendar(kUnixEpoch + 4'107'628'799 * kSecond + 9'999'999),
            (Civil{2100, 3, 1, 1, 23, 59, 59, 999}));
  EXPECT_EQ(Calendar((1ull << 63) - 1), (Civil{30828, 9, 14, 4, 2, 48, 5, 477}));
  EXPECT_EQ(Calendar(1ull << 63), std::nullopt);
  EXPECT_EQ(Calendar(~0ull), std::nullopt);
}

class TimeZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
  }
  void TearDown() override {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  static void Use(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  static std::int64_t Shift(std::uint64_t ticks) {
    FILETIME local;
    EXPECT_TRUE(FileTimeToLocal(Ticks(ticks), &local));
    return static_cast<std::int64_t>(Ticks(local) - ticks);
  }

 private:
  std::optional<std::string> saved_;
};

TEST_F(TimeZoneTest, OneOffsetForEveryStamp) {
  constexpr std::int64_t kHour = 36'000'000'000;
  constexpr std::uint64_t kJanuary2024 = 133'485'408'000'000'000;
  constexpr std::uint64_t kJuly2024 = 133'642'656'000'000'000;
  Use("UTC0");
  EXPECT_EQ(Shift(kJanuary2024), 0);
  Use("XYZ-3");  // three hours east of UTC
  EXPECT_EQ(Shift(kJanuary2024), 3 * kHour);
  EXPECT_EQ(Shift(kJuly2024), 3 * kHour);
  // Under a zone with summer time, winter and summer stamps still get the
  // one offset in force now.
  Use("EST5EDT,M3.2.0,M11.1.0");
  const time_t now = time(nullptr);
  tm parts;
  localtime_r(&now, &parts);
  EXPECT_EQ(Shift(kJanuary2024), parts.tm_gmtoff * 10'000'000);
  EXPECT_EQ(Shift(kJuly2024), parts.tm_gmtoff * 10'000'000);
  // Shifting below 1601 or above 2^64 fails instead of wrapping.
  FILETIME out;
  EXPECT_FALSE(FileTimeToLocal(Ticks(0), &out));
  Use("XYZ-3");
  EXPECT_FALSE(FileTimeToLocal(Ticks(~0ull), &out));
}

TEST(PlatformFormat, ReportsWhatItStored) {
  char buffer[8];
  EXPECT_EQ(FormatToBuffer(buffer, sizeof buffer, "%3d,%03d", 65, 536), 7);
  EXPECT_STREQ(buffer, " 65,536");
  EXPECT_EQ(FormatToBuffer(buffer, sizeof buffer, "%s", "far too long"), 7);
  EXPECT_STREQ(buffer, "far too");
  EXPECT_EQ(FormatToBuffer(buffer, 0, "%d", 1), 0);
}

}  // namespace
}  // namespace qev::platform
