#include "io/path.h"

#include <gtest/gtest.h>

namespace qev {
namespace {

TEST(Path, BareNameIsWhatFollowsTheLastSeparator) {
  EXPECT_EQ(BareName("sub/y.txt"), "y.txt");
  EXPECT_EQ(BareName("/a/b/c"), "c");
  EXPECT_EQ(BareName("plain"), "plain");
  EXPECT_EQ(BareName("dir/"), "");
  EXPECT_EQ(BareName("a\\b"), "a\\b");  // '\' is an ordinary byte here
}

TEST(Path, SafeMemberNamesAreOnePlainComponent) {
  for (const char* good : {"a.txt", "...", ".hidden", "CON", "a:b", "x y", "\xE9"}) {
    EXPECT_TRUE(IsSafeMemberName(good)) << good;
  }
  for (const std::string& bad :
       std::initializer_list<std::string>{"", ".", "..", "/etc/passwd", "../x", "a/b", "a\\b",
                                          "\\x", "C:\\x", "dir/", std::string("a\0b", 3)}) {
    EXPECT_FALSE(IsSafeMemberName(bad)) << bad;
  }
}

}  // namespace
}  // namespace qev
