#include "cli/name_list.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>

#include "io/path.h"
#include "support.h"

namespace qev {
namespace {

using NameListTest = qev::testing::ScratchDirTest;

NameList Expand(std::vector<const char*> patterns) {
  NameList list{"stale"};
  ExpandWildcards(patterns.data(), static_cast<int>(patterns.size()), list);
  return list;
}

// Only files are found, never a directory, a link to one, or the entries
// for the directory itself and its parent; a pattern's directory part stays.
// Windows matches without case, takes '\' as a separator too and finds in
// the file system's order; its short 8.3 names match too, so the patterns
// stay clear of them.
TEST_F(NameListTest, ExpandFindsFilesAndKeepsTheDirectoryPart) {
  std::filesystem::create_directory("sub");
  for (const char* name : {"b", "a.txt", ".hidden", "x[1]", "sub/y.txt"}) WriteFile(name, "");
#ifdef _WIN32
  const NameList all = {".hidden", "a.txt", "b", "x[1]"};
  const NameList found = {"a.txt", "sub\\y.txt"};
#else
  for (const char* name : {"A.TXT", "\xE9"}) WriteFile(name, "");
  ASSERT_EQ(symlink("sub", "link"), 0);
  const NameList all = {".hidden", "A.TXT", "a.txt", "b", "x[1]", "\xE9"};
  const NameList found = {"A.TXT", "link/y.txt"};
#endif
  NameList every = Expand({"*"});
#ifdef _WIN32
  std::vector<std::string_view> sorted(every.begin(), every.end());
  std::sort(sorted.begin(), sorted.end());
  NameList inOrder;
  for (const std::string_view name : sorted) inOrder.push_back(name);
  every = inOrder;
#endif
  EXPECT_EQ(every, all);
  EXPECT_EQ(Expand({"?.TXT", "sub\\*", "link/y.t?t"}), found);
  EXPECT_EQ(Expand({"b", "sub/*.t?t", "b", "./x[1]"}), (NameList{"b", "sub/y.txt", "b", "./x[1]"}));
  // However many stars a pattern holds, matching takes no time.
  const std::string stars = std::string(5000, '*') + "z";
  EXPECT_EQ(Expand({"", "c.txt", "..", "sub", "sub/", "missing/*", "*/y.txt", stars.c_str()}),
            NameList{});
}

// Extraction's refusals of names that leave the directory are tested end to
// end; here, that ordinary names pass.
TEST(Names, CompareAndStore) {
  EXPECT_FALSE(NameMatches("@", "`"));
#ifdef _WIN32
  EXPECT_TRUE(NameMatches("\xC9", "\xE9"));  // the ANSI code page's letters fold too
#else
  EXPECT_FALSE(NameMatches("\xC9", "\xE9"));  // only ASCII letters fold
#endif
  for (const char* good : {"a.txt", "...", ".hidden", "CONSOLE", "nul_", "a\xE9"}) {
    EXPECT_TRUE(IsSafeMemberName(good)) << good;
  }
}

}  // namespace
}  // namespace qev
