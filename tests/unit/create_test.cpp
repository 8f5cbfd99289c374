#include "ops/create.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace qev {
namespace {

namespace fs = std::filesystem;

class CreateNames : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "qev-create-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }

 private:
  fs::path previous_;
  fs::path dir_;
};

// On POSIX '\' is an ordinary file-name byte, but no extraction would
// write a member of that name; creation refuses it instead of storing a
// member that can never come back out.
TEST_F(CreateNames, RefusesAnInputWhoseNameNoExtractionWouldWrite) {
  std::ofstream("ok") << "fine";
  std::ofstream("a\\b") << "odd";
  ::testing::internal::CaptureStdout();
  CreateArchive(ArchiveFormat::kFormat4, "out", {"ok", "a\\b", "ok"});
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "ok ...OK\na\\b ...cannot open\n");
  EXPECT_FALSE(fs::exists("out"));
}

}  // namespace
}  // namespace qev
