#include "io/output_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "io/file_handle.h"
#include "scratch_dir.h"

namespace qev {
namespace {

using OutputFileTest = qev::testing::ScratchDirTest;

ByteBuffer Bytes(const std::string& s) { return ByteBuffer(s.begin(), s.end()); }

TEST_F(OutputFileTest, ReplacesAWritableFileAndStampsBothTimes) {
  WriteFile("m", "old and longer");
  const FILETIME stamp{0x89ABCDEF, 0x01D9ABCD};
  EXPECT_TRUE(WriteOutputFile("m", Bytes("new"), &stamp));
  struct stat st;  // before any read moves the access time
  ASSERT_EQ(stat("m", &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, st.st_mtim.tv_sec);
  EXPECT_EQ(st.st_atim.tv_nsec, st.st_mtim.tv_nsec);
  EXPECT_EQ(ReadFile("m"), "new");
  FileHandle file;
  FILETIME got;
  ASSERT_TRUE(file.OpenRead("m") && file.GetWriteTime(&got));
  EXPECT_EQ(got.dwLowDateTime, stamp.dwLowDateTime);
  EXPECT_EQ(got.dwHighDateTime, stamp.dwHighDateTime);
  EXPECT_TRUE(WriteOutputFile("empty", ByteBuffer(), nullptr));
  EXPECT_EQ(ReadFile("empty"), "");
}

// Nothing that Windows would refuse to delete is replaced: a read-only
// file, a directory, and a file held open, such as the archive being read.
TEST_F(OutputFileTest, LeavesWhatItMayNotReplace) {
  WriteFile("ro", "read-only");
  chmod("ro", 0444);
  mkdir("d", 0755);
  WriteFile("archive", "being read");
  WriteFile("target", "t");
  ASSERT_EQ(symlink("target", "link"), 0);
  FileHandle archive;
  ASSERT_TRUE(archive.OpenRead("archive"));

  for (const char* name : {"ro", "d", "archive", "missing/m"}) {
    EXPECT_FALSE(WriteOutputFile(name, Bytes("x"), nullptr)) << name;
  }
  EXPECT_FALSE(WriteOutputFile(std::string("ro\0x", 4), Bytes("x"), nullptr));
  EXPECT_EQ(ReadFile("ro"), "read-only");
  EXPECT_EQ(ReadFile("archive"), "being read");
  // A symbolic link is replaced itself; its target stays.
  EXPECT_TRUE(WriteOutputFile("link", Bytes("x"), nullptr));
  EXPECT_EQ(ReadFile("target"), "t");
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
  EXPECT_EQ(ReadFile("fits").size(), 4096u);
}

}  // namespace
}  // namespace qev
