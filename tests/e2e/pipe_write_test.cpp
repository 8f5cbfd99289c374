#include "harness.h"

namespace qev::e2e {
namespace {

using PipeWrite = E2eTest;

// What a terminal shows: '\r' returns to the line's start; no trailing spaces.
std::string Screen(const std::string& text) {
  std::string shown, line;
  std::size_t column = 0;
  for (const char c : text) {
    if (c == '\r') {
      column = 0;
    } else if (c == '\n') {
      shown += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
      line.clear();
      column = 0;
    } else {
      line.resize(std::max(line.size(), column + 1), ' ');
      line[column++] = c;
    }
  }
  return shown + line.substr(0, line.find_last_not_of(' ') + 1);
}

// Into a pipe, creation writes the file's bytes, its lines to standard error.
TEST_F(PipeWrite, GivesTheBytesOfTheFile) {
  WriteFile("noise", Noise(5u << 20, 7));
  WriteFile("empty", "");
  WriteFile("text", std::string(70000, 't'));
  for (const std::string command : {"c3", "c4", "z3", "Z4"}) {
    SCOPED_TRACE(command);
    const std::string lines = Qev({command, "./-", "noise", "empty", "text"});
    const Run run = QevRun({command, "-", "noise", "empty", "text"}, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.out == ReadFile("-")) << run.out.size();
    EXPECT_EQ(run.err, Echo(command, "-") + lines.substr(lines.find('\n') + 1));
  }
}

// A run that stops sends nothing, leaves nothing and exits 1; a, d refuse -.
TEST_F(PipeWrite, FailuresSendNothing) {
  WriteFile("a", Noise(3u << 20, 7));
  WriteFile("locked", "x");
  fs::permissions("locked", fs::perms::none);
  fs::create_directory("tmp");
  const std::string tmp = "TMPDIR=" + fs::absolute("tmp").string();
  const std::tuple<Names, std::string, std::string> cases[] = {
      {{"c4", "-", "a", "locked", "a"}, tmp, "a ...OK\nlocked ...cannot open\n"},
      {{"z3", "-", "a", "locked"}, tmp, "a ...OK\nlocked ...cannot open\n"},
      {{"c3", "-", "a"}, "TMPDIR=/missing", "cannot create a scratch file\n"}};
  for (const auto& [args, before, end] : cases) {
    if (IsWindows() && before != tmp) continue;  // TMPDIR is not Windows' own
    const Run run = QevRun(args, before);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, Echo(args[0], "-") + end);
  }
  if (!IsWindows()) {  // a full device takes the archive's first bytes
    const Run run = QevRun({"c4", "-", "a"}, tmp, ">/dev/full");
    EXPECT_EQ(std::make_pair(run.status, run.err),
              std::make_pair(1, Echo("c4", "-") + "a ...OK\nwrite error\n"));
    EXPECT_TRUE(fs::is_empty("tmp"));
  }
  for (const std::string command : {"a", "d"})
    EXPECT_EQ(Qev({command, "-", "a"}),
              Echo(command, "-") +
                  "an archive changed in place must be a file, not - (a file named - is ./-)\n");
}

// QEV_PROGRESS=1 draws the progress line on standard error and erases it.
TEST_F(PipeWrite, ProgressLineIsErasedFromTheLines) {
  WriteFile("big", Noise(5u << 20, 7));
  Qev({"c4", "arc", "big"});
  const std::string lines = Qev({"x", "arc"});
  const Run x = QevRun({"x", "arc"}, "QEV_PROGRESS=1");
  EXPECT_EQ(Screen(x.out), lines);  // Screen takes "\r\n" as "\n"
  EXPECT_NE(x.err.find("\r16 B of 5.6 MiB    0%  "), std::string::npos) << x.err;
  EXPECT_EQ(Screen(x.err), "");
  const Run c4 = QevRun({"c4", "-", "big"}, "QEV_PROGRESS=1");
  EXPECT_NE(c4.err.find(" of 5.0 MiB "), std::string::npos) << c4.err;
  EXPECT_EQ(Screen(c4.err), Echo("c4", "-") + "big ...OK\ntotal: 1 files\n");
  EXPECT_EQ(QevRun({"x", "arc"}, "QEV_PROGRESS=0").err, "");
  // From a pipe the total is not known: bytes and rate alone.
  const Run piped = QevRun({"x", "-"}, "mkfifo p; (cat arc >p &); QEV_PROGRESS=1", "<p");
  EXPECT_EQ(Screen(piped.out), Qev({"x", "-"}, "", ReadFile("arc")));
  EXPECT_NE(piped.err.find("/s  -"), std::string::npos) << piped.err;
  EXPECT_EQ(Screen(piped.err), "");
}

// On a terminal the line shows after a second, unless QEV_PROGRESS=0.
TEST_F(PipeWrite, ProgressOnATerminal) {
  if (IsWindows()) GTEST_SKIP() << "no pseudo-terminal for the Windows build";
  WriteFile("big", Noise(9u << 20, 7));
  const std::string slow = "| (sleep 1.5; cat >arc)";
  const std::string shown = QevOnTerminal({"c4", "-", "big"}, "", slow);
  EXPECT_NE(shown.find("% "), std::string::npos) << shown;
  EXPECT_EQ(Screen(shown), Echo("c4", "-") + "big ...OK\ntotal: 1 files\n");
  EXPECT_EQ(QevOnTerminal({"c4", "-", "big"}, "QEV_PROGRESS=0", slow).find('%'), shown.npos);
  EXPECT_EQ(Screen(QevOnTerminal({"x", "arc"}, "", "")), Qev({"x", "arc"}));
  EXPECT_EQ(Screen(QevOnTerminal({"c4", "-", "big"}, "", "")),
            Echo("c4", "-") + "standard output is a terminal: no archive is written there\n");
}

}  // namespace
}  // namespace qev::e2e
