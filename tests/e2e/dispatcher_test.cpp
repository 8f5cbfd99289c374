// The command line: which words run a command, which print the usage line,
// and what is echoed. The archive operations' own output is theirs to test;
// here only the lines the front end prints are checked.
#include <string>
#include <vector>

#include "harness.h"

namespace qev::e2e {
namespace {

constexpr char kUsageTail[] = " <command> <archive> <file1> <file2> ...\n";

class Dispatcher : public E2eTest {
 protected:
  // Runs qev and checks what every run must give: exit status 0 and
  // nothing on standard error.
  std::string Out(const std::vector<std::string>& args) const {
    const RunResult run = Qev(args);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    return run.out;
  }

  static void ExpectUsage(const std::string& out) {
    const std::string& command = GetSettings().qevCommand;
    if (!IsWindows() && command.find(' ') == std::string::npos) {
      EXPECT_EQ(out, "Usage: " + command + kUsageTail);
      return;
    }
    // Under another runner the program name is whatever it passes.
    EXPECT_EQ(out.rfind("Usage: ", 0), 0u) << out;
    EXPECT_TRUE(out.ends_with(kUsageTail)) << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
  }
};

TEST_F(Dispatcher, TooFewArgumentsOrAnUnknownWordPrintUsage) {
  ExpectUsage(Out({}));
  ExpectUsage(Out({"l"}));
  for (const char* word : {"list", "c", "c5", "x ", "", "-l", "C34", "lx"}) {
    SCOPED_TRACE(word);
    ExpectUsage(Out({word, "archive", "name"}));
  }
}

TEST_F(Dispatcher, CreationWithoutANamePrintsUsageAndTouchesNothing) {
  WriteFile("arc", "keep");
  for (const char* word : {"c3", "c4", "C3"}) {
    SCOPED_TRACE(word);
    ExpectUsage(Out({word, "arc"}));
    ExpectUsage(Out({word, "new"}));
  }
  EXPECT_EQ(ReadFile("arc"), "keep");
  EXPECT_FALSE(Exists("new"));
}

TEST_F(Dispatcher, ListAndExtractEchoTheWordAsTyped) {
  // A missing archive is nobody's format: the echo line is all there is.
  EXPECT_EQ(Out({"l", "missing.qev"}), "command: l , file: missing.qev\n");
  EXPECT_EQ(Out({"L", "missing.qev"}), "command: L , file: missing.qev\n");
  EXPECT_EQ(Out({"X", "missing.qev", "a.txt", "B.TXT"}), "command: X , file: missing.qev\n");
  EXPECT_EQ(Out({"x", "my archive", "*"}), "command: x , file: my archive\n");
  // Neither is a file of some other kind.
  WriteFile("foreign", "not an archive at all");
  EXPECT_EQ(Out({"l", "foreign"}), "command: l , file: foreign\n");
  EXPECT_EQ(ReadFile("foreign"), "not an archive at all");
}

TEST_F(Dispatcher, CreationEchoesFirstEvenWhenNothingMatches) {
  for (const char* word : {"c3", "C4"}) {
    const std::string out = Out({word, "arc", "*.none"});
    EXPECT_EQ(out.rfind(std::string("command: ") + word + " , file: arc\n", 0), 0u) << out;
  }
}

}  // namespace
}  // namespace qev::e2e
