#include "io/output_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <ctime>
#include <string>

#include "io/file_handle.h"
#include "scratch_dir.h"

namespace qev {
namespace {

using OutputFileTest = qev::testing::ScratchDirTest;

ByteBuffer Bytes(const std::string& s) { return ByteBuffer(s.begin(), s.end()); }

TEST_F(OutputFileTest, ReplacesAWritableFileAndStampsIt) {
  WriteFile("m", "old and longer");
  const FILETIME stamp{0x89ABCDEF, 0x01D9ABCD};
  EXPECT_TRUE(WriteOutputFile("m", Bytes("new"), &stamp));
  EXPECT_EQ(ReadFile("m"), "new");
  FileHandle file;
  ASSERT_TRUE(file.OpenRead("m"));
  FILETIME back;
  ASSERT_TRUE(file.GetWriteTime(&back));
  EXPECT_EQ(back.dwLowDateTime, stamp.dwLowDateTime);
  EXPECT_EQ(back.dwHighDateTime, stamp.dwHighDateTime);
}

TEST_F(OutputFileTest, EmptyDataWithoutTimeGivesAFreshEmptyFile) {
  const time_t before = time(nullptr);
  EXPECT_TRUE(WriteOutputFile("e", ByteBuffer(), nullptr));
  struct stat st;
  ASSERT_EQ(stat("e", &st), 0);
  EXPECT_EQ(st.st_size, 0);
  EXPECT_GE(st.st_mtime, before - 1);
}

TEST_F(OutputFileTest, LeavesWhatItMayNotReplace) {
  WriteFile("ro", "read-only");
  chmod("ro", 0444);
  mkdir("d", 0755);
  WriteFile("archive", "being read");
  FileHandle archive;
  ASSERT_TRUE(archive.OpenRead("archive"));

  EXPECT_FALSE(WriteOutputFile("ro", Bytes("x"), nullptr));
  EXPECT_FALSE(WriteOutputFile("d", Bytes("x"), nullptr));
  EXPECT_FALSE(WriteOutputFile("archive", Bytes("x"), nullptr));
  EXPECT_FALSE(WriteOutputFile("missing/m", Bytes("x"), nullptr));
  EXPECT_FALSE(WriteOutputFile(std::string("ro\0x", 4), Bytes("x"), nullptr));
  EXPECT_EQ(ReadFile("ro"), "read-only");
  EXPECT_EQ(ReadFile("archive"), "being read");
  struct stat st;
  EXPECT_TRUE(stat("d", &st) == 0 && S_ISDIR(st.st_mode));
  EXPECT_FALSE(Exists("missing"));
}

// A file-size limit makes the write come up short, as a full disk would.
TEST_F(OutputFileTest, ShortWriteFailsAndRemovesTheFile) {
  rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteOutputFile("big", ByteBuffer(10000, 'x'), nullptr);
  const bool fits = WriteOutputFile("fits", ByteBuffer(4096, 'y'), nullptr);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_FALSE(written);
  EXPECT_FALSE(Exists("big"));
  EXPECT_TRUE(fits);
  EXPECT_EQ(ReadFile("fits"), std::string(4096, 'y'));
}

}  // namespace
}  // namespace qev
