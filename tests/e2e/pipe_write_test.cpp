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

// Into a pipe, creation writes the file's bytes, its lines to standard error,
// for no member too.
TEST_F(PipeWrite, GivesTheBytesOfTheFile) {
  WriteFile("noise", Noise(5u << 20, 7));
  WriteFile("empty", "");
  WriteFile("text", std::string(70000, 't'));
  WriteFile("few", Text(3000, 7));
  for (const std::string command : {"c3", "c4", "z3", "Z4"}) {
    for (const Names& names : {Names{"noise", "empty", "text", "few"}, Names{"none*"}}) {
      SCOPED_TRACE(command + " " + names[0]);
      Names args = {command, "./-"};
      args.insert(args.end(), names.begin(), names.end());
      const std::string lines = Qev(args);
      args[1] = "-";
      const Run run = QevRun(args, "");
      EXPECT_EQ(run.status, 0);
      EXPECT_TRUE(run.out == ReadFile("-")) << run.out.size();
      EXPECT_EQ(run.err, Echo(command, "-") + lines.substr(lines.find('\n') + 1));
    }
  }
}

// A run that stops before its header sends nothing and exits 1: c3 and c4
// check every file first; z3 and z4 make the archive in a scratch file.
// a and d refuse -.
TEST_F(PipeWrite, FailuresSendNothing) {
  WriteFile("a", Noise(3u << 20, 7));
  WriteFile("locked", "x");
  fs::permissions("locked", fs::perms::none);
  fs::create_directory("tmp");
  const std::string tmp = "TMPDIR=" + fs::absolute("tmp").string();
  const std::tuple<Names, std::string, std::string> cases[] = {
      {{"c4", "-", "a", "locked", "a"}, tmp, "locked ...cannot open\n"},
      {{"z3", "-", "a", "locked"}, tmp, "a ...OK\nlocked ...cannot open\n"},
      {{"z4", "-", "a"}, "TMPDIR=/missing", "cannot create a scratch file\n"},
      {{"c4", "-", "a"}, "", "write error\n"},  // the header, into a full device
      {{"z4", "-", "a"}, tmp, "a ...OK\nwrite error\n"}};
  for (const auto& [args, before, end] : cases) {
    const bool full = end.ends_with("write error\n");
    if (IsWindows() && (before.find("missing") != before.npos || full)) continue;
    const Run run = QevRun(args, before, full ? ">/dev/full" : "");
    EXPECT_TRUE(run.out.empty()) << run.out.size();
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, Echo(args[0], "-") + end);
  }
  EXPECT_TRUE(IsWindows() || fs::is_empty("tmp"));  // Wine keeps files of its own there
  for (const std::string command : {"a", "d"})
    EXPECT_EQ(Qev({command, "-", "a"}),
              Echo(command, "-") +
                  "an archive changed in place must be a file, not - (a file named - is ./-)\n");
}

// c3 and c4 send the header, computed from the files' sizes, before any
// stream: a file that then changes size or goes (one too large to be held
// since) stops them with no table sent, and what went out, the archive's
// beginning, reads as a cut archive.
TEST_F(PipeWrite, StoredCreationStopsCut) {
  WriteFile("big", Noise(5u << 20, 7));
  for (const std::string command : {"c3", "c4"}) {
    for (const std::string change : {"echo more >>late", "rm late"}) {
      SCOPED_TRACE(command + ": " + change);
      WriteFile("late", Text(100000, 7));
      Qev({command, "whole", "big", "late"});
      // The pipe holds far less than big's stream: the change comes after
      // the header and before late is reached.
      const Run run = QevRun({command, "-", "big", "late"},
                             "rm -f p; mkfifo p; (dd bs=16 count=1 iflag=fullblock of=cut "
                             "2>/dev/null; " +
                                 change + "; cat >>cut) <p & ",
                             ">p");
      EXPECT_EQ(run.status, 1);
      EXPECT_EQ(run.err, Echo(command, "-") + "big ...OK\nlate ...cannot open\n");
      const std::string cut = ReadFile("cut");
      EXPECT_GT(cut.size(), 5u << 20);
      EXPECT_TRUE(ReadFile("whole").starts_with(cut));
      fs::create_directory("x");
      fs::current_path("x");
      for (const std::string reader : {"l", "t", "x"}) {
        EXPECT_EQ(Qev({reader, "../cut"}), Echo(reader, "../cut"));
        EXPECT_EQ(Qev({reader, "-"}, "", cut), Echo(reader, "-"));
      }
      EXPECT_TRUE(Listing().empty());
      fs::current_path("..");
      fs::remove_all("x");
      fs::remove("whole");
    }
  }
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
