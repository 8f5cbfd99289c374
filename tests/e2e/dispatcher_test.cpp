// The command line: which words run a command, which print the usage line,
// and what is echoed. The operations' own output is tested with them.
#include "harness.h"

namespace qev::e2e {
namespace {

using Dispatcher = E2eTest;

TEST_F(Dispatcher, UsageLineOrEchoAsTyped) {
  WriteFile("arc", "keep");
  // Creation needs at least one name; no other word is a command.
  std::vector<Names> usage = {{}, {"l"}, {"c3", "arc"}, {"C4", "new"}};
  for (const char* word : {"list", "c", "c5", "x ", "", "-l", "lx"})
    usage.push_back({word, "arc", "a"});
  const std::string tail = " <command> <archive> <file1> <file2> ...\n";
  for (const Names& args : usage) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const std::string out = Qev(args);
    // A runner other than the plain binary passes a program name of its own.
    if (!IsWindows() && Command().find(' ') == std::string::npos) {
      EXPECT_EQ(out, "Usage: " + Command() + tail);
    }
    EXPECT_TRUE(out.starts_with("Usage: ") && out.ends_with(tail) &&
                out.find('\n') == out.size() - 1);
  }
  EXPECT_EQ(ReadFile("arc"), "keep");
  EXPECT_FALSE(fs::exists("new"));

  // A missing or foreign file is neither format: the echo line is all.
  EXPECT_EQ(Qev({"L", "missing"}), Echo("L", "missing"));
  EXPECT_EQ(Qev({"X", "my archive", "a.txt", "B.TXT"}), Echo("X", "my archive"));
  EXPECT_EQ(Qev({"x", "arc"}), Echo("x", "arc"));
  EXPECT_EQ(ReadFile("arc"), "keep");
}

// File names that Windows reads differently from POSIX: letter case and
// '\'. Each case states what each platform does. The names that reach
// devices there are tested with extraction.
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
