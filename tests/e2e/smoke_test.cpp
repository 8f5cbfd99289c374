#include "harness.h"

namespace qev::e2e {
namespace {

class Smoke : public E2eTest {};

TEST_F(Smoke, RunsInAnEmptyDirectoryAndExitsZero) {
  WriteFile("probe", Bytes({0x00, 0xFF}));
  const RunResult run = Qev({"l", "no-such-archive"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadFile("probe"), Bytes({0x00, 0xFF}));
}

}  // namespace
}  // namespace qev::e2e
