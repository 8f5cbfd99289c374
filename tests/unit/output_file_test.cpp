#include "io/output_file.h"

#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "io/file_handle.h"
#include "support.h"

namespace qev {
namespace {

using OutputFileTest = qev::testing::ScratchDirTest;

// Writes data to a new OutputFile for name in two pieces and commits it.
bool WriteOutputFile(const std::string& name, const std::string& data, const FILETIME* time) {
  OutputFile file;
  if (!file.Open(name)) return false;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  file.Write(bytes, data.size() / 2);
  file.Write(bytes + data.size() / 2, data.size() - data.size() / 2);
  return file.Commit(time);
}

// Every time field gets the stamp: the write time, the access time and, on
// Windows, the creation time.
TEST_F(OutputFileTest, ReplacesAWritableFileAndStampsEveryTime) {
  WriteFile("m", "old and longer");
  WriteFile("qev-part-0.tmp", "not ours");  // the first name the new file would take
  const FILETIME stamp{0x89ABCDEF, 0x01D9ABCD};
  EXPECT_TRUE(WriteOutputFile("m", "new", &stamp));
  EXPECT_EQ(ReadFile("qev-part-0.tmp"), "not ours");
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
  EXPECT_TRUE(file.OpenRead("m") && file.GetWriteTime(&got) &&
              got.dwLowDateTime == stamp.dwLowDateTime &&
              got.dwHighDateTime == stamp.dwHighDateTime);
}

// Nothing that Windows would refuse to delete is replaced: a read-only
// file, a directory, and a file held open, such as the archive being read.
// A link is replaced, never its target.
TEST_F(OutputFileTest, LeavesWhatItMayNotReplace) {
  WriteFile("ro", "read-only");
  std::filesystem::permissions("ro", std::filesystem::perms::owner_read);
  std::filesystem::create_directory("d");
  WriteFile("archive", "being read");
  FileHandle archive;
  ASSERT_TRUE(archive.OpenRead("archive"));
  for (const char* name : {"ro", "d", "archive", "missing/m"}) {
    EXPECT_FALSE(WriteOutputFile(name, "x", nullptr)) << name;
  }
  EXPECT_EQ(ReadFile("ro") + ReadFile("archive"), "read-onlybeing read");
  std::filesystem::permissions("ro", std::filesystem::perms::all);  // Windows keeps it otherwise
#ifndef _WIN32  // making links on Windows takes a privilege that tests lack
  WriteFile("target", "t");
  ASSERT_EQ(symlink("target", "link"), 0);
  EXPECT_TRUE(WriteOutputFile("link", "x", nullptr));
  EXPECT_EQ(ReadFile("target") + ReadFile("link"), "tx");
#endif
}

}  // namespace
}  // namespace qev
