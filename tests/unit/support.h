// What the unit tests share: the size of the largest allocation, byte
// strings written in hexadecimal, and a fresh temporary directory that is
// the current directory for one test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace qev::testing {

// The largest single allocation by operator new since it was last set to 0.
extern std::size_t largestAllocation;

// "61 62 00" gives the three bytes a, b and NUL.
inline std::string Hex(const std::string& text) {
  std::string bytes;
  std::istringstream in(text);
  for (unsigned value = 0; in >> std::hex >> value;) bytes += static_cast<char>(value);
  return bytes;
}

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() /
           ("qev-unit-" + std::to_string(std::random_device()()));
    ASSERT_TRUE(std::filesystem::create_directory(dir_));
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  static void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
  }
  static std::string ReadFile(const std::string& name) {
    std::ostringstream content;
    content << std::ifstream(name, std::ios::binary).rdbuf();
    return content.str();
  }

 private:
  std::filesystem::path dir_;
  std::filesystem::path previous_;
};

}  // namespace qev::testing
