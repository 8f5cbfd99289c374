#include "cli/name_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "scratch_dir.h"

namespace qev {
namespace {

using NameListTest = qev::testing::ScratchDirTest;

TEST(NameList, CollectKeepsArgumentsVerbatim) {
  const char* args[] = {"a*.txt", "B.TXT", "a*.txt"};
  NameList list{"stale"};
  CollectNames(args, 3, list);
  EXPECT_EQ(list, (NameList{"a*.txt", "B.TXT", "a*.txt"}));
  CollectNames(args, 0, list);
  EXPECT_TRUE(list.empty());
}

TEST(NameList, MatchesWholeNamesIgnoringAsciiCase) {
  EXPECT_TRUE(NameMatches("Readme.TXT", "readme.txt"));
  EXPECT_FALSE(NameMatches("readme", "readme.txt"));
  EXPECT_FALSE(NameMatches("a*.txt", "ab.txt"));
}

TEST_F(NameListTest, ExpandsFilesInOrderAndKeepsTheDirectoryPart) {
  WriteFile("b", "");
  WriteFile("a", "");
  WriteFile("x.txt", "");
  mkdir("d", 0755);
  mkdir("sub", 0755);
  WriteFile("sub/y.txt", "");
  WriteFile("sub/z.txt", "");

  const char* args[] = {"*", "x.txt", "x.txt", "sub/*.txt", "none*", "missing/*", "./a"};
  NameList list{"stale"};
  ExpandWildcards(args, 7, list);
  EXPECT_EQ(list, (NameList{"a", "b", "x.txt", "x.txt", "x.txt", "sub/y.txt", "sub/z.txt", "./a"}));

  const char* nothing[] = {"*.none", "d"};
  ExpandWildcards(nothing, 2, list);
  EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace qev
