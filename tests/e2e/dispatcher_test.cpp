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
  EXPECT_FALSE(fs::exists("new"));
  // A missing or foreign file is neither format: the echo line is all.
  EXPECT_EQ(Qev({"L", "missing"}), Echo("L", "missing"));
  EXPECT_EQ(Qev({"X", "my archive", "a.txt", "B.TXT"}), Echo("X", "my archive"));
  EXPECT_EQ(Qev({"x", "arc"}), Echo("x", "arc"));
  EXPECT_EQ(ReadFile("arc"), "keep");
}

}  // namespace
}  // namespace qev::e2e
