#include "io/file_handle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "scratch_dir.h"

namespace qev {
namespace {

using FileHandleTest = qev::testing::ScratchDirTest;

TEST_F(FileHandleTest, CloseIsHarmlessWhenNothingIsOpen) {
  FileHandle file;
  EXPECT_FALSE(file.IsOpen());
  EXPECT_TRUE(file.Close());
  EXPECT_TRUE(file.Close());
  char byte;
  EXPECT_EQ(file.ReadAt(0, 1, &byte), 0u);
  EXPECT_EQ(file.Write("x", 1), 0u);
  EXPECT_EQ(file.GetSize(), 0xFFFFFFFFu);
  EXPECT_FALSE(file.SeekTo(0));
}

TEST_F(FileHandleTest, OpenFailuresLeaveItClosed) {
  WriteFile("old", "keep");
  mkdir("d", 0755);
  FileHandle file;
  EXPECT_FALSE(file.OpenRead("missing"));
  EXPECT_FALSE(file.OpenRead("d"));
  EXPECT_FALSE(file.OpenRead(std::string("old\0x", 5)));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_FALSE(file.CreateNew("old"));
  EXPECT_FALSE(file.CreateNew("d"));
  EXPECT_FALSE(file.CreateNew(std::string("new\0x", 5)));
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadFile("old"), "keep");
  EXPECT_FALSE(Exists("new"));
}

TEST_F(FileHandleTest, ReadAtStopsAtTheEnd) {
  WriteFile("five", "abcde");
  FileHandle file;
  ASSERT_TRUE(file.OpenRead("five"));
  EXPECT_EQ(file.GetSize(), 5u);
  char buf[13] = {};
  EXPECT_EQ(file.ReadAt(0, 13, buf), 5u);
  EXPECT_STREQ(buf, "abcde");
  EXPECT_EQ(file.ReadAt(3, 13, buf), 2u);
  EXPECT_EQ(std::string(buf, 2), "de");
  EXPECT_EQ(file.ReadAt(5, 13, buf), 0u);
  EXPECT_EQ(file.ReadAt(0x80000000u, 13, buf), 0u);
  FILETIME t;
  EXPECT_FALSE(file.GetWriteTime(nullptr));
  EXPECT_TRUE(file.GetWriteTime(&t));
  EXPECT_FALSE(file.SetAllTimes(nullptr));
}

// Offsets are unsigned 32-bit values: the upper half of the range reads
// like the lower one (a sparse file keeps this cheap).
TEST_F(FileHandleTest, ReadAtReachesEveryUnsigned32BitOffset) {
  const int fd = open("big", O_WRONLY | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(pwrite(fd, "HIGH", 4, 0x80000000), 4);
  ASSERT_EQ(pwrite(fd, "TOP", 3, 0xFFFFFFF0), 3);
  ASSERT_EQ(ftruncate(fd, 0x100000005), 0);  // size past 4 GiB: low 32 bits = 5
  close(fd);

  FileHandle file;
  ASSERT_TRUE(file.OpenRead("big"));
  EXPECT_EQ(file.GetSize(), 5u);
  char buf[16] = {};
  EXPECT_EQ(file.ReadAt(0x80000000u, 4, buf), 4u);
  EXPECT_EQ(std::string(buf, 4), "HIGH");
  EXPECT_EQ(file.ReadAt(0xFFFFFFF0u, 3, buf), 3u);
  EXPECT_EQ(std::string(buf, 3), "TOP");
  EXPECT_EQ(file.ReadAt(0xFFFFFFFFu, 1, buf), 1u);
  EXPECT_EQ(buf[0], '\0');
}

TEST_F(FileHandleTest, WritesThenRewritesTheHeader) {
  FileHandle file;
  ASSERT_TRUE(file.CreateNew("out"));
  EXPECT_EQ(file.Write("\0\0\0\0body", 8), 8u);
  EXPECT_TRUE(file.SeekTo(0));
  EXPECT_EQ(file.Write("HEAD", 4), 4u);
  EXPECT_EQ(file.GetSize(), 8u);
  // The file being created is held exclusively, also against this process.
  FileHandle reader;
  EXPECT_FALSE(reader.OpenRead("out"));
  FILETIME stamp{0x12345678, 0x01D00000};
  EXPECT_TRUE(file.SetAllTimes(&stamp));
  // Reopening closes the old file first.
  ASSERT_TRUE(file.OpenRead("out"));
  FILETIME back;
  ASSERT_TRUE(file.GetWriteTime(&back));
  EXPECT_EQ(back.dwLowDateTime, stamp.dwLowDateTime);
  EXPECT_EQ(back.dwHighDateTime, stamp.dwHighDateTime);
  EXPECT_TRUE(reader.OpenRead("out"));
  EXPECT_EQ(ReadFile("out"), "HEADbody");
}

}  // namespace
}  // namespace qev
