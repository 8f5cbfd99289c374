#include "ops/create.h"

#include "support.h"

namespace qev {
namespace {

class CreateNames : public testing::ScratchDirTest {};

// On POSIX '\' is an ordinary byte of a file name, but no extraction would
// write a member of that name: creation refuses it rather than store a
// member that can never come back out.
TEST_F(CreateNames, RefusesAnInputThatNoExtractionWouldWrite) {
  WriteFile("ok", "fine");
  WriteFile("a\\b", "odd");
  ::testing::internal::CaptureStdout();
  CreateArchive(ArchiveFormat::kFormat4, "out", {"ok", "a\\b", "ok"});
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "ok ...OK\na\\b ...cannot open\n");
  EXPECT_FALSE(std::filesystem::exists("out"));
}

}  // namespace
}  // namespace qev
