// The platform seam, with Windows' expectation stated where it differs.
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <ctime>
#include <optional>

namespace qev::platform {
namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

FILETIME Ticks(std::uint64_t ticks) {
  return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}
std::uint64_t Ticks(const FILETIME& t) {
  return (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
}

// On Windows each of these reaches a device; the end-to-end tests extract
// the plainer cases and the streams.
TEST(PlatformNames, DevicesOnlyOnWindows) {
  for (const char* name :
       {"aux ", "PRN.a.b", "LPT\xB9", "CONIN$", "conout$", "sub\\NUL", "sub/con.txt", "NUL\\x"}) {
    EXPECT_EQ(IsDeviceOrStreamName(name), kWindows) << name;
  }
  for (const char* name : {"CONSOLE", "COM10", "LPT", "nul_", "xcon", "a.con", " CON", "NULL.txt",
                           "AUX1", "", "com\xB4"}) {
    EXPECT_FALSE(IsDeviceOrStreamName(name)) << name;
  }
}

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
  EXPECT_EQ(Calendar(kUnixEpoch + 951'827'696 * kSecond + 7'899'999),
            (V{2000, 2, 29, 2, 12, 34, 56, 789}));
  EXPECT_EQ(Calendar(kUnixEpoch + 2'147'483'648 * kSecond), (V{2038, 1, 19, 2, 3, 14, 8, 0}));
  EXPECT_EQ(Calendar(kUnixEpoch + 4'107'628'799 * kSecond), (V{2100, 3, 1, 1, 23, 59, 59, 0}));
  EXPECT_EQ(Calendar((1ull << 63) - 1), (V{30828, 9, 14, 4, 2, 48, 5, 477}));
  EXPECT_EQ(Calendar(1ull << 63), std::nullopt);
}

// Every stamp, summer or winter, gets the offset in force now. Windows'
// zone is the system's, not one that a test can set.
TEST(PlatformTime, LocalTimeUsesTodaysOffset) {
  constexpr std::uint64_t kWinter = 133'485'408'000'000'000ull;
  constexpr std::uint64_t kSummer = 133'642'656'000'000'000ull;
#ifndef _WIN32
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);  // nothing else here depends on the zone
  tzset();
  FILETIME out;
  EXPECT_FALSE(FileTimeToLocal(Ticks(0), &out));  // would fall before 1601
#endif
  FILETIME winter;
  FILETIME summer;
  ASSERT_TRUE(FileTimeToLocal(Ticks(kWinter), &winter));
  ASSERT_TRUE(FileTimeToLocal(Ticks(kSummer), &summer));
  EXPECT_EQ(Ticks(winter) - kWinter, Ticks(summer) - kSummer);
#ifndef _WIN32
  const time_t now = time(nullptr);
  tm parts;
  localtime_r(&now, &parts);
  EXPECT_EQ(static_cast<std::int64_t>(Ticks(winter) - kWinter), parts.tm_gmtoff * 10'000'000);
#endif
}

}  // namespace
}  // namespace qev::platform
