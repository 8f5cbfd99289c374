#include "cli/name_list.h"

#include <gtest/gtest.h>

#include "io/path.h"
#include "scratch_dir.h"

namespace qev {
namespace {

using NameListTest = qev::testing::ScratchDirTest;

TEST_F(NameListTest, CollectKeepsArgumentsAndExpandKeepsTheDirectoryPart) {
  mkdir("d", 0755);
  mkdir("sub", 0755);
  for (const char* name : {"b", "a", "x.txt", "sub/y.txt"}) WriteFile(name, "");
  const char* args[] = {"*", "x.txt", "x.txt", "sub/*.txt", "none*", "missing/*", "./a"};
  NameList list{"stale"};
  CollectNames(args, 2, list);
  EXPECT_EQ(list, (NameList{"*", "x.txt"}));
  ExpandWildcards(args, 7, list);
  EXPECT_EQ(list, (NameList{"a", "b", "x.txt", "x.txt", "x.txt", "sub/y.txt", "./a"}));
  ExpandWildcards(args + 4, 1, list);
  EXPECT_TRUE(list.empty());
}

TEST(Names, CompareAndStore) {
  EXPECT_TRUE(NameMatches("Readme.TXT", "readme.txt"));
  EXPECT_FALSE(NameMatches("readme", "readme.txt"));
  EXPECT_FALSE(NameMatches("\xC9", "\xE9"));  // only ASCII letters fold
  EXPECT_FALSE(NameMatches("@", "`"));
  EXPECT_EQ(BareName("sub/y.txt"), "y.txt");
  EXPECT_EQ(BareName("plain"), "plain");
  for (const char* good : {"a.txt", "...", ".hidden", "CON", "a:b"}) {
    EXPECT_TRUE(IsSafeMemberName(good)) << good;
  }
  for (const char* bad : {"", ".", "..", "/etc/passwd", "../x", "a/b", "a\\b", "dir/"}) {
    EXPECT_FALSE(IsSafeMemberName(bad)) << bad;
  }
  EXPECT_FALSE(IsSafeMemberName(std::string("a\0b", 3)));
}

}  // namespace
}  // namespace qev
