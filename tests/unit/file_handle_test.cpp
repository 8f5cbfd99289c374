#include "io/file_handle.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support.h"

namespace qev {
namespace {

using FileHandleTest = qev::testing::ScratchDirTest;

TEST_F(FileHandleTest, OpensOnlyWhatItMay) {
  WriteFile("old", "keep");
  std::filesystem::create_directory("d");
#ifdef _WIN32
  // Names match without case, so OLD exists; a device is never a file.
  const char* const unreadable[] = {"missing", "d", "NUL", "con", "Aux.log", ""};
  const char* const existing[] = {"old", "d", "OLD", "nul.txt", "CONOUT$"};
#else
  ASSERT_EQ(mkfifo("pipe", 0644), 0);
  ASSERT_EQ(symlink("nowhere", "dangling"), 0);
  const char* const unreadable[] = {"missing", "d", "pipe", ""};
  const char* const existing[] = {"old", "d", "dangling"};
#endif
  FileHandle file;
  // Reading takes existing regular files only; a FIFO or the console must
  // not hang.
  for (const char* path : unreadable) EXPECT_FALSE(file.OpenRead(path)) << path;
  // Creation fails whenever the name exists in any form.
  for (const char* path : existing) EXPECT_FALSE(file.CreateNew(path)) << path;
  EXPECT_EQ(ReadFile("old"), "keep");
  EXPECT_FALSE(std::filesystem::exists("nowhere"));
}

TEST_F(FileHandleTest, ReadAtReachesEveryUnsigned32BitOffset) {
  {
    std::ofstream big("big", std::ios::binary);
    big << "abcde";
    big.seekp(0x80000000) << "HIGH";
    big.seekp(0xFFFFFFF0) << "TOP";
    ASSERT_TRUE(big.good());
  }
  std::filesystem::resize_file("big", 0x100000005);  // the low 32 bits of the size are 5
  FileHandle file;
  ASSERT_TRUE(file.OpenRead("big"));
  EXPECT_EQ(file.GetSize(), 5u);
  char buf[13];
  EXPECT_EQ(file.ReadAt(0x80000000u, 4, buf), 4u);
  EXPECT_EQ(std::string(buf, 4), "HIGH");
  EXPECT_EQ(file.ReadAt(0xFFFFFFF0u, 13, buf), 13u);
  EXPECT_EQ(std::string(buf, 4), std::string("TOP\0", 4));

  WriteFile("five", "abcde");
  ASSERT_TRUE(file.OpenRead("five"));
  EXPECT_EQ(file.ReadAt(0, 13, buf), 5u);
  EXPECT_EQ(file.ReadAt(5, 13, buf), 0u);
  EXPECT_EQ(file.ReadAt(0x80000000u, 13, buf), 0u);
}

TEST_F(FileHandleTest, TimesKeepEvery100Nanoseconds) {
  FileHandle file;
  ASSERT_TRUE(file.CreateNew("t"));
  EXPECT_FALSE(file.GetWriteTime(nullptr));
  EXPECT_FALSE(file.SetAllTimes(nullptr));
  // In 2025, in 1949 (before the POSIX epoch) and in 2076 (past 2038).
  for (const std::uint64_t ticks :
       {134'000'000'000'000'001ull, 110'000'000'000'000'007ull, 150'000'000'000'000'003ull}) {
    const FILETIME set{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
    FILETIME got;
    ASSERT_TRUE(file.SetAllTimes(&set) && file.GetWriteTime(&got));
    EXPECT_EQ((std::uint64_t{got.dwHighDateTime} << 32) | got.dwLowDateTime, ticks);
  }
}

}  // namespace
}  // namespace qev
