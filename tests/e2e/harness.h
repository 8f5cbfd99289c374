// The end-to-end driver: every test runs the real qev command in a fresh,
// empty temporary directory that is the test process's current directory
// for the duration of the test.
//
// The command that runs qev is a parameter (--qev=CMD; default: the qev
// built beside these tests), so the same cases drive a native build, a
// build under valgrind, or the Windows build under wine (add --windows).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace qev::e2e {

struct Settings {
  std::string qevCommand;  // a shell word list; the arguments are appended
  bool windows = false;    // the command runs the Windows build
};

// Settings parsed from the command line by the driver's main().
const Settings& GetSettings();

// The Windows build writes through the C runtime's text mode, as a native
// console program does, so each of its lines ends in "\r\n". The cases are
// written with "\n": for the Windows build each pair is folded back to
// "\n", and a "\n" without its "\r" (output that bypassed text mode) fails
// the test. Other builds' text is returned unchanged. stream names the
// text in that failure.
std::string FoldLineEnds(const std::string& text, const char* stream);

struct RunResult {
  // Everything qev wrote to standard output and to standard error. The
  // Windows build ends its lines in "\r\n"; they are given here as "\n".
  std::string out;
  std::string err;
  int status = -1;  // exit status, or -1 when it did not exit normally
};

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs qev with these arguments (each passed as one argument, unquoted)
  // in the test's directory, with no standard input. A run that takes
  // longer than two minutes is killed.
  RunResult Qev(const std::vector<std::string>& args) const;

  static bool IsWindows() { return GetSettings().windows; }
  const std::string& Dir() const { return dir_; }

  // Plain file helpers, relative to the test's directory.
  static void WriteFile(const std::string& name, const std::string& bytes);
  static std::string ReadFile(const std::string& name);
  static bool Exists(const std::string& name);
  static void MakeDir(const std::string& name);
  // Modification time as 100 ns intervals since 1601-01-01 UTC.
  static std::uint64_t ModTime(const std::string& name);
  static void SetModTime(const std::string& name, std::uint64_t filetime);
  // Clears every write permission bit (true) or gives the owner write
  // permission back (false).
  static void SetReadOnly(const std::string& name, bool readOnly);

 private:
  std::string dir_;
  std::string previousDir_;
};

// Bytes written out as text: Bytes({0x51, 0x45}) == "QE".
std::string Bytes(std::initializer_list<int> values);

}  // namespace qev::e2e
