// The command line: which words run a command, which print the usage line,
// and what is echoed. The operations' own output is tested with them.
#include <string>
#include <vector>

#include "harness.h"

namespace qev::e2e {
namespace {

class Dispatcher : public E2eTest {
 protected:
  // Every run exits with status 0 and writes nothing to standard error.
  std::string Out(const std::vector<std::string>& args) const {
    const RunResult run = Qev(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    return run.out;
  }

  static void ExpectUsage(const std::string& out) {
    const std::string tail = " <command> <archive> <file1> <file2> ...\n";
    const std::string& command = GetSettings().qevCommand;
    if (!IsWindows() && command.find(' ') == std::string::npos) {
      EXPECT_EQ(out, "Usage: " + command + tail);
    } else {  // another runner passes a program name of its own
      EXPECT_TRUE(out.starts_with("Usage: ") && out.ends_with(tail)) << out;
      EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    }
  }
};

TEST_F(Dispatcher, BadCommandLinesPrintUsageAndTouchNothing) {
  WriteFile("arc", "keep");
  ExpectUsage(Out({}));
  ExpectUsage(Out({"l"}));
  for (const char* word : {"list", "c", "c5", "x ", "", "-l", "lx"}) {
    ExpectUsage(Out({word, "arc", "name"}));
  }
  // Creation needs at least one name.
  for (const char* word : {"c3", "C4"}) {
    ExpectUsage(Out({word, "arc"}));
    ExpectUsage(Out({word, "new"}));
  }
  EXPECT_EQ(ReadFile("arc"), "keep");
  EXPECT_FALSE(Exists("new"));
}

TEST_F(Dispatcher, EchoesTheWordAsTyped) {
  // A missing or foreign file is neither format: the echo line is all.
  WriteFile("foreign", "not an archive");
  EXPECT_EQ(Out({"L", "missing"}), "command: L , file: missing\n");
  EXPECT_EQ(Out({"X", "my archive", "a.txt", "B.TXT"}), "command: X , file: my archive\n");
  EXPECT_EQ(Out({"x", "foreign"}), "command: x , file: foreign\n");
  EXPECT_EQ(ReadFile("foreign"), "not an archive");
  // Creation echoes first even when its pattern matches nothing.
  EXPECT_TRUE(Out({"c3", "arc", "*.none"}).starts_with("command: c3 , file: arc\n"));
  EXPECT_TRUE(Out({"C4", "arc", "*.none"}).starts_with("command: C4 , file: arc\n"));
}

}  // namespace
}  // namespace qev::e2e
