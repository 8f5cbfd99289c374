// File names that Windows reads differently from POSIX: devices, drive
// prefixes and streams, letter case and '\'. Every case runs on both
// platforms and states what each one does.
#include "harness.h"

namespace qev::e2e {
namespace {

using PlatformNames = E2eTest;

// On Windows each of these names reaches a device, a drive or a stream of
// another file, so extraction refuses it as it refuses a name that leaves
// the directory; on POSIX they are ordinary names.
TEST_F(PlatformNames, DevicesDrivesAndStreamsAreRefusedOnlyOnWindows) {
  const Names hazards = {"CON",      "con",  "NUL.txt",  "nul.",    "Aux.log",
                         "prn",      "COM1", "Com3.log", "com9",    "LPT1.x.y",
                         "CON .txt", "lpt9", "C:name",   "a:b.txt", "kept.txt:stream"};
  std::vector<Member> members = {Stored("kept.txt", "kept")};
  std::string expected = OpenLines("x", "a.qev", 3, hazards.size() + 1) + "kept.txt ...OK\n";
  for (const std::string& name : hazards) {
    members.push_back(Stored(name, "evil"));
    expected += name + (IsWindows() ? " ...write error\n" : " ...OK\n");
  }
  WriteFile("a.qev", Archive(3, members));
  // Anything written to the console device would show up here too.
  EXPECT_EQ(Qev({"x", "a.qev"}), expected + (IsWindows() ? "total: 1 files   4 Bytes\n"
                                                         : "total: 16 files  64 Bytes\n"));
  EXPECT_EQ(ReadFile("kept.txt"), "kept");
  EXPECT_EQ(Listing().size(), IsWindows() ? 2 : 17);
}

// Windows matches file names without regard to case and also separates
// directories with '\'.
TEST_F(PlatformNames, LetterCaseAndBackslash) {
  WriteFile("a.qev", Archive(4, {Stored("Read.me", "first"), Stored("READ.ME", "second")}));
  EXPECT_EQ(Qev({"x", "a.qev"}), OpenLines("x", "a.qev", 4, 2) +
                                     "Read.me ...OK\nREAD.ME ...OK\ntotal: 2 files  11 Bytes\n");
  // On Windows the second member replaced the first: deleted, then created anew.
  EXPECT_EQ(Listing(),
            IsWindows() ? Names({"READ.ME", "a.qev"}) : Names({"READ.ME", "Read.me", "a.qev"}));
  EXPECT_EQ(ReadFile("READ.ME"), "second");

  // The name stored is the file's own bare name, not the pattern's.
  fs::create_directory("sub");
  WriteFile("sub/Data.TXT", "d");
  EXPECT_EQ(Qev({"c4", "b.qev", "sub\\DATA.txt"}),
            Echo("c4", "b.qev") + (IsWindows() ? "sub\\Data.TXT ...OK\ntotal: 1" : "total: 0") +
                " files\n");
  EXPECT_EQ(Qev({"l", "b.qev"}),
            OpenLines("l", "b.qev", 4, IsWindows() ? 1 : 0) +
                (IsWindows() ? "            1  Data.TXT\ntotal: 1 files   1 Bytes\n"
                             : "total: 0 files   0 Bytes\n"));
}

}  // namespace
}  // namespace qev::e2e
