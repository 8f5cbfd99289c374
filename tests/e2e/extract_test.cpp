#include <algorithm>
#include <fstream>

#include "harness.h"

namespace qev::e2e {
namespace {

using Extract = E2eTest;

// first (abc), cut (xyz), mid (abababa, through a back-reference) and tail
// (80 FF), stamped time, time + 10, + 20 and + 30. cut and tail lack their
// end markers, so that a byte read past their extents would change them.
std::vector<Member> SampleMembers(std::uint64_t time) {
  std::vector<Member> members = {Stored("first", "abc", time),
                                 Stored("cut", "xyz", time + 10),
                                 {"mid", Hex("B0 D8 80 01 20 00 00"), 7, time + 20},
                                 Stored("tail", "\x80\xFF", time + 30)};
  members[1].stream.resize(4);
  members[3].stream.resize(3);
  return members;
}

TEST_F(Extract, DecodesEachExtent) {
  for (const int format : {3, 4}) {
    for (const std::string& name : Listing()) fs::remove(name);
    WriteFile("a.qev", Archive(format, SampleMembers(132500000001234567)));
    // A filter picks one member; its extent still ends where the next begins.
    EXPECT_EQ(Qev({"x", "a.qev", "CUT"}),
              OpenLines("x", "a.qev", format, 4) + "cut ...OK\ntotal: 1 files   3 Bytes\n");
    EXPECT_EQ(Listing(), Names({"a.qev", "cut"}));
    EXPECT_EQ(Qev({"x", "a.qev"}), OpenLines("x", "a.qev", format, 4) +
                                       "first ...OK\ncut ...OK\nmid ...OK\ntail ...OK\n"
                                       "total: 4 files  15 Bytes\n");
    EXPECT_EQ(ReadFile("first") + ReadFile("cut") + ReadFile("mid") + ReadFile("tail"),
              "abcxyzabababa\x80\xFF");
  }
}

// t gives one verdict per member, a checksum error (format 3) before a size
// error, writes nothing, and counts the members that passed.
TEST_F(Extract, DamagedIndexesAndChecksumsYieldWhatTheBytesHold) {
  Member p = Stored("p", "hello");
  // r points back at p's stream: q's extent ends before it starts, so q is
  // read to the end of the archive. gone lies wholly past the end: an empty
  // file, counted by its size.
  std::vector<Member> members = {
      p, Stored("q", "world"), {"r", p.stream, 5, 0, kAuto, 13}, {"gone", "", 9, 0, 1, 5000}};
  members[0].checksum = 1;
  WriteFile("a.qev", Archive(3, members));
  members[2].offset = 16;  // format 4 has no checksum to notice anything
  WriteFile("b.qev", Archive(4, members));
  EXPECT_EQ(Qev({"t", "a.qev"}), OpenLines("t", "a.qev", 3, 4) +
                                     "p ...checksum error\nq ...OK\nr ...OK\n"
                                     "gone ...checksum error\ntotal: 2 files  10 Bytes\n");
  EXPECT_EQ(Qev({"t", "b.qev"}), OpenLines("t", "b.qev", 4, 4) +
                                     "p ...OK\nq ...OK\nr ...OK\n"
                                     "gone ...size error\ntotal: 3 files  15 Bytes\n");
  EXPECT_EQ(Listing(), Names({"a.qev", "b.qev"}));
  const std::string lines = "q ...OK\nr ...OK\ngone ...", total = "OK\ntotal: 4 files  24 Bytes\n";
  // Where a limit applies, it shows that no reservation follows q's extent
  // round to a length near 4 GiB.
  EXPECT_EQ(Qev({"x", "a.qev"}, MemoryLimitApplies() ? "-v 131072" : ""),
            OpenLines("x", "a.qev", 3, 4) + "p ...checksum error ...OK\n" + lines +
                "checksum error ..." + total);
  EXPECT_EQ(ReadFile("p") + ReadFile("q") + ReadFile("r") + ReadFile("gone"), "helloworldhello");
  EXPECT_EQ(Qev({"x", "b.qev"}), OpenLines("x", "b.qev", 4, 4) + "p ...OK\n" + lines + total);
  EXPECT_EQ(ReadFile("r"), "hello");
}

// Stored names are bare file names: one that would reach outside the
// current directory or over the archive is refused. So is, on Windows only,
// one that reaches a device, a drive or a stream of another file; POSIX
// takes those as plain names. Windows matches names without case: a member
// replaces the file of another case, which is deleted and created anew.
TEST_F(Extract, WritesOnlyPlainFilesOfTheCurrentDirectory) {
  const std::string here = fs::current_path();
  const std::string escape = "../" + fs::path(here).filename().string() + "-escape";
  const Names unsafe = {escape, "sub/inner", here + "/victim", "",   ".",
                        "..",   "a\\b",      "a.qev",          "sub"};
  const Names devices = {"CON",      "con",           "NUL.txt", "nul.",     "Aux.log",
                         "prn",      "COM1",          "lpt9",    "Com3.log", "com9",
                         "LPT1.x.y", "CON .txt",      "C:name",  "aux ",     "PRN.a.b",
                         "a:b.txt",  "victim:stream", "CONIN$",  "conout$",  "LPT\xB9"};
  // Names that only look like devices are plain names everywhere.
  const Names plain = {"CONSOLE", "COM10", "LPT",      "nul_",    "xcon",
                       "a.con",   " CON",  "NULL.txt", "Read.me", "READ.ME"};
  fs::create_directory("sub");
  WriteFile("sub/inner", "keep");
  WriteFile("victim", "keep");
  std::vector<Member> members;
  std::string lines;
  for (const auto& [names, refused] :
       {std::pair{unsafe, true}, std::pair{devices, IsWindows()}, std::pair{plain, false}}) {
    for (const std::string& name : names) {
      members.push_back(Stored(name, name));
      lines += name + (refused ? " ...write error\n" : " ...OK\n");
    }
  }
  const std::string archive = Archive(3, members);
  WriteFile("a.qev", archive);
  // Anything written to the console device would show up here too.
  EXPECT_EQ(Qev({"x", "a.qev"}), OpenLines("x", "a.qev", 3, members.size()) + lines + "total: " +
                                     (IsWindows() ? "10 files  54" : "30 files 171") + " Bytes\n");
  EXPECT_FALSE(fs::exists(escape));
  EXPECT_EQ(ReadFile("sub/inner") + ReadFile("victim") + ReadFile("a.qev"), "keepkeep" + archive);
  EXPECT_EQ(ReadFile("Read.me") + ReadFile("READ.ME"), IsWindows() ? "READ.ME" : "Read.meREAD.ME");
  EXPECT_EQ(Listing().size(), IsWindows() ? 12u : 33u);
}

// 100,000 small members are archived and listed in both formats, and
// extracted from one, each in 24 MiB of address space.
TEST_F(Extract, HundredThousandSmallMembersInLittleMemory) {
  if (!MemoryLimitApplies()) GTEST_SKIP();
  const auto name = [](int i) { return std::string(1, 'm').append(std::to_string(i)); };
  const auto content = [](int i) { return std::to_string(i) + std::string(50 + i % 351, 'x'); };
  for (int i = 0; i < 100000; ++i) WriteFile(name(i), content(i));
  fs::create_directory("out");
  const std::string limit = "-v 24576";
  const std::string total = "total: 100000 files  22,983,360 Bytes\n";
  for (const std::string format : {"4", "3"}) {
    EXPECT_TRUE(Qev({"c" + format, "out/a.qev", "*"}, limit).ends_with("\ntotal: 100000 files\n"));
    const std::string listing = Qev({"l", "out/a.qev"}, limit);
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 100000 + 4);
    EXPECT_TRUE(listing.ends_with("  m99999\n" + total)) << format;
  }
  fs::create_directory("x");
  fs::current_path("x");
  EXPECT_TRUE(Qev({"x", "../out/a.qev"}, limit).ends_with("m99999 ...OK\n" + total));
  EXPECT_EQ(Listing().size(), 100000u);
  for (const int i : {0, 4567, 99999}) EXPECT_EQ(ReadFile(name(i)), content(i));
}

// A member takes the place of a writable file or of a link, never of the
// link's target, and gets its format-3 time; a file that another run left
// under the first temporary name stays.
TEST_F(Extract, ReplacesFilesAndLinksNotTheirTargets) {
  constexpr std::uint64_t kStamp = 132500000001234567;
  WriteFile("qev-part-0.tmp", "not ours");
  WriteFile("m", "old and longer");
  std::vector<Member> members = {Stored("m", "new", kStamp)};
  std::string lines = "m ...OK\n";
  if (!IsWindows()) {  // making links on Windows takes a privilege
    fs::create_symlink("target", "link");
    fs::create_symlink("nowhere", "dangling");
    WriteFile("target", "t");
    members.push_back(Stored("link", "x"));
    members.push_back(Stored("dangling", "y"));
    lines += "link ...OK\ndangling ...OK\n";
  }
  WriteFile("a.qev", Archive(3, members));
  EXPECT_TRUE(Qev({"x", "a.qev"})
                  .ends_with(lines + "total: " + std::to_string(members.size()) + " files   " +
                             std::to_string(members.size() + 2) + " Bytes\n"));
  EXPECT_EQ(ReadFile("qev-part-0.tmp") + ReadFile("m"), "not oursnew");
  EXPECT_EQ(ModTime("m"), kStamp);
  if (IsWindows()) return;
  EXPECT_EQ(ReadFile("target") + ReadFile("link") + ReadFile("dangling"), "txy");
  EXPECT_FALSE(fs::is_symlink("link") || fs::exists("nowhere"));
}

// Offsets up to 4 GiB - 1 reach their bytes: two members and the table in
// the last 512 bytes of a sparse archive.
TEST_F(Extract, ReachesOffsetsUpTo4GiB) {
  std::vector<Member> members = {Stored("low", "low"), Stored("high", "high")};
  members[0].offset = 0xFFFFFE00;
  members[1].offset = 0xFFFFFF00;
  const std::string table =
      Archive(3, members).substr(13 + members[0].stream.size() + members[1].stream.size());
  {
    std::ofstream file("big.qev", std::ios::binary);
    file << Header3(2, 0xFFFFFF10);
    file.seekp(0xFFFFFE00) << members[0].stream;
    file.seekp(0xFFFFFF00) << members[1].stream;
    file.seekp(0xFFFFFF10) << table;
  }
  EXPECT_EQ(Qev({"x", "big.qev"}),
            OpenLines("x", "big.qev", 3, 2) + "low ...OK\nhigh ...OK\ntotal: 2 files   7 Bytes\n");
  EXPECT_EQ(ReadFile("low") + ReadFile("high"), "lowhigh");
}

}  // namespace
}  // namespace qev::e2e
