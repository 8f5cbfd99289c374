// A fresh temporary directory that is the current directory for the life of
// one test, removed with everything in it afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace qev::testing {

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = std::filesystem::current_path();
    std::string dir = (std::filesystem::temp_directory_path() / "qev-unit-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    std::filesystem::current_path(dir_ = dir);
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    std::filesystem::remove_all(dir_);
  }

  static void WriteFile(const std::string& name, const std::string& content) {
    std::ofstream(name, std::ios::binary) << content;
  }
  static std::string ReadFile(const std::string& name) {
    std::ostringstream content;
    content << std::ifstream(name, std::ios::binary).rdbuf();
    return content.str();
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
