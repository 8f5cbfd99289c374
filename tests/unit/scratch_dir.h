// A fresh temporary directory that is the current directory for the life of
// one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace qev::testing {

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::string templ = (std::filesystem::temp_directory_path() / "qev-unit-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    dir_ = templ;
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::error_code ignored;
    // Read-only files inside are removed all the same (as root, or because
    // the directory itself stays writable).
    std::filesystem::remove_all(dir_, ignored);
  }

  static void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out << content;
  }
  static std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static bool Exists(const std::string& name) {
    struct stat st;
    return lstat(name.c_str(), &st) == 0;
  }

  std::filesystem::path dir_;

 private:
  std::filesystem::path previous_;
};

}  // namespace qev::testing
