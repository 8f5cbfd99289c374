// File names that Windows reads differently from POSIX: letter case and
// '\'. Each case states what each platform does. The names that reach
// devices there are tested with extraction.
#include "harness.h"

namespace qev::e2e {
namespace {

using PlatformNames = E2eTest;

TEST_F(PlatformNames, LetterCaseAndBackslash) {
  WriteFile("a.qev", Archive(4, {Stored("Read.me", "first"), Stored("READ.ME", "second")}));
  EXPECT_EQ(Qev({"x", "a.qev"}), OpenLines("x", "a.qev", 4, 2) +
                                     "Read.me ...OK\nREAD.ME ...OK\ntotal: 2 files  11 Bytes\n");
  // On Windows the second member replaced the first: deleted, then created anew.
  EXPECT_EQ(Listing(),
            IsWindows() ? Names({"READ.ME", "a.qev"}) : Names({"READ.ME", "Read.me", "a.qev"}));
  EXPECT_EQ(ReadFile("READ.ME"), "second");

  // A pattern finds a file in whatever case it is typed; the line shows the
  // file's own name.
  fs::create_directory("sub");
  WriteFile("sub/Data.TXT", "d");
  EXPECT_EQ(Qev({"c4", "b.qev", "sub\\DATA.txt"}),
            Echo("c4", "b.qev") + (IsWindows() ? "sub\\Data.TXT ...OK\ntotal: 1" : "total: 0") +
                " files\n");
}

}  // namespace
}  // namespace qev::e2e
