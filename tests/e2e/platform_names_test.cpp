// File names that Windows reads differently from POSIX: devices, drive
// prefixes and streams, letter case, '\' and the directory search order.
// Every case runs on both platforms and states what each one does.
#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "archive_bytes.h"
#include "harness.h"

namespace qev::e2e {
namespace {

class PlatformNames : public E2eTest {
 protected:
  // The names of the test directory's plain files, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Dir())) {
      if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

// On Windows each of these names reaches a device, a drive or a stream of
// another file, so extraction refuses it as it refuses a name that leaves
// the directory; on POSIX they are ordinary names.
TEST_F(PlatformNames, DevicesDrivesAndStreamsAreRefusedOnlyOnWindows) {
  const std::vector<std::string> hazards = {
      "CON",  "con",      "NUL.txt",  "nul.", "Aux.log", "prn",     "COM1",           "Com3.log",
      "com9", "LPT1.x.y", "CON .txt", "lpt9", "C:name",  "a:b.txt", "kept.txt:stream"};
  std::vector<Member> members;
  for (const std::string& name : hazards) members.push_back(Stored(name, "evil"));
  members.push_back(Stored("ok", "fine"));
  WriteFile("kept.txt", "kept");

  for (const int format : {3, 4}) {
    SCOPED_TRACE(format);
    WriteFile("a.qev", format == 3 ? Format3Archive(members) : Format4Archive(members));
    std::string expected = OpenLines("x", "a.qev", format, members.size());
    for (const std::string& name : hazards) {
      expected += name + (IsWindows() ? " ...write error\n" : " ...OK\n");
    }
    expected += "ok ...OK\n";
    expected += IsWindows() ? "total: 1 files   4 Bytes\n" : "total: 16 files  64 Bytes\n";
    // Anything written to the console device would show up here too.
    EXPECT_EQ(Qev({"x", "a.qev"}).out, expected);
    EXPECT_EQ(ReadFile("ok"), "fine");
    EXPECT_EQ(ReadFile("kept.txt"), "kept");
    for (const std::string& name : hazards) EXPECT_EQ(Exists(name), !IsWindows()) << name;
  }
  if (IsWindows()) {
    EXPECT_EQ(Files(), (std::vector<std::string>{"a.qev", "kept.txt", "ok"}));
  }
}

// Windows matches file names without regard to case: members whose names
// differ only in case are one file, and a pattern finds a file in whatever
// case it is typed.
TEST_F(PlatformNames, LetterCaseOfFileNames) {
  WriteFile("a.qev", Format4Archive({Stored("Read.me", "first"), Stored("READ.ME", "second")}));
  EXPECT_EQ(
      Qev({"x", "a.qev"}).out,
      OpenLines("x", "a.qev", 4, 2) + "Read.me ...OK\nREAD.ME ...OK\ntotal: 2 files  11 Bytes\n");
  if (IsWindows()) {
    // The second member replaced the first: deleted, then created anew.
    EXPECT_EQ(Files(), (std::vector<std::string>{"READ.ME", "a.qev"}));
    EXPECT_EQ(ReadFile("READ.ME"), "second");
  } else {
    EXPECT_EQ(Files(), (std::vector<std::string>{"READ.ME", "Read.me", "a.qev"}));
    EXPECT_EQ(ReadFile("Read.me"), "first");
  }

  // The name stored is the file's own, not the pattern's.
  WriteFile("Data.TXT", "d");
  EXPECT_EQ(Qev({"c4", "b.qev", "data.txt"}).out,
            "command: c4 , file: b.qev\n" + std::string(IsWindows() ? "Data.TXT ...OK\n" : "") +
                "total: " + (IsWindows() ? "1" : "0") + " files\n");
  EXPECT_EQ(Qev({"l", "b.qev"}).out,
            OpenLines("l", "b.qev", 4, IsWindows() ? 1 : 0) +
                (IsWindows() ? "            1  Data.TXT\ntotal: 1 files   1 Bytes\n"
                             : "total: 0 files   0 Bytes\n"));
}

// '\' separates directories on Windows only; elsewhere it is part of a
// name.
TEST_F(PlatformNames, BackslashSeparatesOnlyOnWindows) {
  MakeDir("sub");
  WriteFile("sub/y.txt", "y");
  EXPECT_EQ(Qev({"c3", "c.qev", "sub\\*.txt"}).out,
            "command: c3 , file: c.qev\n" + std::string(IsWindows() ? "sub\\y.txt ...OK\n" : "") +
                "total: " + (IsWindows() ? "1" : "0") + " files\n");
  std::filesystem::remove("sub/y.txt");
  // Stored under its bare name, it comes back into the current directory.
  EXPECT_EQ(Qev({"x", "c.qev"}).out, OpenLines("x", "c.qev", 3, IsWindows() ? 1 : 0) +
                                         (IsWindows() ? "y.txt ...OK\ntotal: 1 files   1 Bytes\n"
                                                      : "total: 0 files   0 Bytes\n"));
  EXPECT_EQ(Exists("y.txt"), IsWindows());
}

// A pattern yields names in the directory search's order: sorted by byte
// value on POSIX, the file system's own order on Windows.
TEST_F(PlatformNames, PatternsFollowTheDirectorySearchOrder) {
  for (const char* name : {"b", "c", "a"}) WriteFile(name, name);
  std::vector<std::string> lines;
  std::istringstream out(Qev({"c4", "d.qev", "?"}).out);
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines.front(), "command: c4 , file: d.qev");
  EXPECT_EQ(lines.back(), "total: 3 files");
  std::vector<std::string> members(lines.begin() + 1, lines.end() - 1);
  if (IsWindows()) std::sort(members.begin(), members.end());
  EXPECT_EQ(members, (std::vector<std::string>{"a ...OK", "b ...OK", "c ...OK"}));
}

}  // namespace
}  // namespace qev::e2e
