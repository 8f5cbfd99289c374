#include "io/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <csignal>
#include <filesystem>

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
#ifdef _WIN32
  struct _stat64 st;  // before any read moves the access time
  ASSERT_EQ(_stat64("m", &st), 0);
  EXPECT_EQ(st.st_atime, st.st_mtime);
  EXPECT_EQ(st.st_ctime, st.st_mtime);  // the creation time
#else
  struct stat st;  // before any read moves the access time
  ASSERT_EQ(stat("m", &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, st.st_mtim.tv_sec);
  EXPECT_EQ(st.st_atim.tv_nsec, st.st_mtim.tv_nsec);
#endif
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
  std::filesystem::permissions("ro",
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  std::filesystem::create_directory("d");
  WriteFile("archive", "being read");
  FileHandle archive;
  ASSERT_TRUE(archive.OpenRead("archive"));

  for (const char* name : {"ro", "d", "archive", "missing/m"}) {
    EXPECT_FALSE(WriteOutputFile(name, Bytes("x"), nullptr)) << name;
  }
  EXPECT_FALSE(WriteOutputFile(std::string("ro\0x", 4), Bytes("x"), nullptr));
  EXPECT_EQ(ReadFile("ro"), "read-only");
  EXPECT_EQ(ReadFile("archive"), "being read");
}

#ifndef _WIN32
// (Making links on Windows takes a privilege that tests do not have.)
TEST_F(OutputFileTest, ReplacesALinkAndNotItsTarget) {
  WriteFile("target", "t");
  ASSERT_EQ(symlink("target", "link"), 0);
  EXPECT_TRUE(WriteOutputFile("link", Bytes("x"), nullptr));
  EXPECT_EQ(ReadFile("target"), "t");
  EXPECT_EQ(ReadFile("link"), "x");
}
#endif

#ifndef _WIN32
// A file-size limit makes the write come up short, as a full disk would.
// (Windows has no such limit for a process to set on itself.)
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
#endif

}  // namespace
}  // namespace qev
