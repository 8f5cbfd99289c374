// Runs qev (--qev=CMD, --windows under wine) in a fresh empty directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "support/archive_bytes.h"

namespace qev::e2e {

using namespace qev::test;  // the expected archives and streams
namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class E2eTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs qev here: its standard output; fails unless the status and an empty
  // standard error are right. limit: a ulimit option; input: standard input,
  // slowly through a pipe (or socket) or from a file; root bound unless privileged.
  enum Input { kPipe, kFile, kSocket };
  std::string Qev(const Names& args, const std::string& limit = "", const std::string& input = "",
                  Input way = kPipe, bool privileged = false) const;

  // Runs a shell command line here: its standard output (and exit status).
  static std::string RunShellCommand(const std::string& command, int* status = nullptr);

  // Runs qev after the shell words before, its output a pipe unless redirected.
  struct Run {
    std::string out, err;
    int status;
  };
  Run QevRun(const Names& args, const std::string& before, const std::string& after = "") const;
  // The same command line under a pseudo-terminal: what the terminal got.
  std::string QevOnTerminal(const Names& args, const std::string& before,
                            const std::string& after) const;

  static bool IsWindows();
  static const std::string& Command();
  // Not with sanitizers nor under wine, which reserve far more than they use.
  static bool MemoryLimitApplies();

  static Names Listing();  // the current directory's entries, sorted
  static void WriteFile(const std::string& name, const std::string& bytes);
  static std::string ReadFile(const std::string& name);
  // Modification times as 100 ns intervals since 1601-01-01 UTC.
  static std::uint64_t ModTime(const std::string& name);
  static void SetModTime(const std::string& name, std::uint64_t filetime);

 private:
  // The shell words that run qev with args after before.
  std::string CommandLine(const Names& args, const std::string& before,
                          bool privileged = false) const;

  std::string dir_;
  std::string previousDir_;
};

// Bytes written as hexadecimal pairs: Hex("51 45") == "QE".
inline std::string Hex(const std::string& pairs) {
  std::string bytes;
  for (std::size_t i = 0; i < pairs.size(); i += 3)
    bytes += char(std::stoi(pairs.substr(i, 2), nullptr, 16));
  return bytes;
}

// size bytes of noise, or of numbered lines, drawn from seed.
inline std::string Noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string noise(size, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  return noise;
}
inline std::string Text(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) text += "line " + std::to_string(random() % 5000) + " of the text\n";
  return text.substr(0, size);
}

// The line every accepted command opens with; those x, t and l add for an archive.
inline std::string Echo(const std::string& command, const std::string& path) {
  return "command: " + command + " , file: " + path + "\n";
}
inline std::string OpenLines(const std::string& command, const std::string& path, int format,
                             std::size_t count) {
  return Echo(command, path) + "open... " + path + " is QEV" + std::to_string(format) +
         " file.\nfile count: " + std::to_string(count) + "\n";
}

}  // namespace qev::e2e
