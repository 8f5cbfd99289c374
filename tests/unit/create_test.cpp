#include "ops/create.h"

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "support.h"

namespace qev {
namespace {

class CreateNames : public testing::ScratchDirTest {};

// The list comes from a directory search that creation does not repeat: a
// file removed since then cannot be opened. On POSIX '\' is an ordinary
// byte of a file name, but no extraction would write a member of that name,
// so creation refuses it rather than store a member that can never come
// back out. Either way creation stops and leaves no archive.
TEST_F(CreateNames, StopsAtAnInputItCannotStore) {
  WriteFile("ok", "fine");
  WriteFile("a\\b", "odd");
  for (const std::string bad : {"gone", "a\\b"}) {
    ::testing::internal::CaptureStdout();
    CreateArchive(ArchiveFormat::kFormat4, "out", {"ok", bad, "ok"});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "ok ...OK\n" + bad + " ...cannot open\n");
    EXPECT_FALSE(std::filesystem::exists("out"));
  }
}

#ifndef _WIN32
// A disk that takes not even the zeroed header area.
TEST_F(CreateNames, StopsWhenNotEvenTheHeaderAreaIsWritten) {
  WriteFile("ok", "fine");
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const rlimit none = {0, saved.rlim_max};
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
  CreateArchive(ArchiveFormat::kFormat3, "out", {"ok"});
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "write error\n");
  EXPECT_FALSE(std::filesystem::exists("out"));
}
#endif

}  // namespace
}  // namespace qev
