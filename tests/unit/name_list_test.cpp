#include "cli/name_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "io/path.h"
#include "scratch_dir.h"

namespace qev {
namespace {

using NameListTest = qev::testing::ScratchDirTest;

TEST_F(NameListTest, CollectKeepsArgumentsAndExpandKeepsTheDirectoryPart) {
  std::filesystem::create_directory("d");
  std::filesystem::create_directory("sub");
  for (const char* name : {"b", "a", "x.txt", "sub/y.txt"}) WriteFile(name, "");
  const char* args[] = {"*", "x.txt", "x.txt", "sub/*.txt", "none*", "missing/*", "./a"};
  NameList list{"stale"};
  CollectNames(args, 2, list);
  EXPECT_EQ(list, (NameList{"*", "x.txt"}));
  ExpandWildcards(args, 7, list);
#ifdef _WIN32
  // The directory search order is the file system's.
  ASSERT_GE(list.size(), 3u);
  std::sort(list.begin(), list.begin() + 3);
#endif
  EXPECT_EQ(list, (NameList{"a", "b", "x.txt", "x.txt", "x.txt", "sub/y.txt", "./a"}));
  ExpandWildcards(args + 4, 1, list);
  EXPECT_TRUE(list.empty());

  // Windows matches names without case and also separates with '\'.
  const char* windowsOnly[] = {"X.TXT", "sub\\*"};
  ExpandWildcards(windowsOnly, 2, list);
#ifdef _WIN32
  EXPECT_EQ(list, (NameList{"x.txt", "sub\\y.txt"}));
#else
  EXPECT_TRUE(list.empty());
#endif
}

TEST(Names, CompareAndStore) {
  EXPECT_TRUE(NameMatches("Readme.TXT", "readme.txt"));
  EXPECT_FALSE(NameMatches("readme", "readme.txt"));
#ifdef _WIN32
  EXPECT_TRUE(NameMatches("\xC9", "\xE9"));  // the ANSI code page's letters fold too
#else
  EXPECT_FALSE(NameMatches("\xC9", "\xE9"));  // only ASCII letters fold
#endif
  EXPECT_FALSE(NameMatches("@", "`"));
  EXPECT_EQ(BareName("sub/y.txt"), "y.txt");
  EXPECT_EQ(BareName("plain"), "plain");
#ifdef _WIN32
  EXPECT_EQ(BareName("sub\\y.txt"), "y.txt");
#else
  EXPECT_EQ(BareName("sub\\y.txt"), "sub\\y.txt");
#endif
  for (const char* good : {"a.txt", "...", ".hidden", "CONSOLE", "COM10"}) {
    EXPECT_TRUE(IsSafeMemberName(good)) << good;
  }
  // Devices and streams on Windows, plain names elsewhere.
  for (const char* hazard : {"CON", "nul.txt", "Com3.log", "a:b", "C:x"}) {
#ifdef _WIN32
    EXPECT_FALSE(IsSafeMemberName(hazard)) << hazard;
#else
    EXPECT_TRUE(IsSafeMemberName(hazard)) << hazard;
#endif
  }
  for (const char* bad : {"", ".", "..", "/etc/passwd", "../x", "a/b", "a\\b", "dir/"}) {
    EXPECT_FALSE(IsSafeMemberName(bad)) << bad;
  }
  EXPECT_FALSE(IsSafeMemberName(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace qev
