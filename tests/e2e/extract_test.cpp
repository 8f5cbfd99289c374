#include <fstream>

#include "harness.h"

namespace qev::e2e {
namespace {

using Extract = E2eTest;

// Each member decodes from its extent, also when picked; t writes nothing.
TEST_F(Extract, ExtentsChecksumsAndVerdicts) {
  const Member p = Stored("p", "hello"), mid = {"mid", Hex("B0 D8 80 01 20 00 00"), 7};
  const Member r = {"r", p.stream, 5}, gone = {"gone", "", 9, 0, 1, 5000};
  std::vector<Member> members = {
      Stored("first", "abc"),    Stored("cut", "xyz"), mid, p, Stored("q", "world"), r, gone,
      Stored("tail", "\x80\xFF")};
  members[1].stream.resize(4);
  members[7].stream.resize(3);
  members[3].checksum = 1;
  for (const int format : {3, 4}) {
    for (const std::string& name : Listing()) fs::remove(name);
    members[5].offset = (format == 3 ? 13 : 16) + 6 + 4 + 7;  // p's stream
    WriteFile("a.qev", Archive(format, members));
    const std::string sample = "first ...OK\ncut ...OK\nmid ...OK\np ...";
    EXPECT_EQ(Qev({"t", "a.qev"}), OpenLines("t", "a.qev", format, 8) + sample +
                                       (format == 3 ? "checksum error\nq ...OK\nr ...OK\n"
                                                      "gone ...checksum error\ntail ...OK\n"
                                                      "total: 6 files  25"
                                                    : "OK\nq ...OK\nr ...OK\ngone ...size error\n"
                                                      "tail ...OK\ntotal: 7 files  30") +
                                       " Bytes\n");
    EXPECT_EQ(Qev({"x", "a.qev", "CUT"}),
              OpenLines("x", "a.qev", format, 8) + "cut ...OK\ntotal: 1 files   3 Bytes\n");
    EXPECT_EQ(Listing(), Names({"a.qev", "cut"}));
    // A limit shows that q's extent, to the end, reserves nothing near 4 GiB.
    const std::string sum = format == 3 ? "checksum error ..." : "";
    EXPECT_EQ(Qev({"x", "a.qev"}, MemoryLimitApplies() ? "-v 131072" : ""),
              OpenLines("x", "a.qev", format, 8) + sample + sum + "OK\nq ...OK\nr ...OK\ngone ..." +
                  sum + "OK\ntail ...OK\ntotal: 8 files  39 Bytes\n");
    std::string files;
    for (const Member& m : members) files += ReadFile(m.name);
    EXPECT_EQ(files, "abcxyzabababahelloworldhello\x80\xFF");
  }
}

// Unsafe names are refused; a member replaces a file or link, not its target.
TEST_F(Extract, WritesOnlyPlainFilesOfTheCurrentDirectory) {
  constexpr std::uint64_t kStamp = 132500000001234567;
  const std::string here = fs::current_path();
  const std::string escape = "../" + fs::path(here).filename().string() + "-escape";
  const Names unsafe = {escape, "sub/inner", here + "/victim", "",   ".",
                        "..",   "a\\b",      "a.qev",          "sub"};
  const Names devices = {"CON",      "con",           "NUL.txt", "nul.",     "Aux.log",
                         "prn",      "COM1",          "lpt9",    "Com3.log", "com9",
                         "LPT1.x.y", "CON .txt",      "C:name",  "aux ",     "PRN.a.b",
                         "a:b.txt",  "victim:stream", "CONIN$",  "conout$",  "LPT\xB9"};
  // Names that only look like devices are plain names everywhere.
  const Names plain = {"CONSOLE",  "COM10",   "LPT",     "nul_", "xcon", "a.con",   " CON",
                       "NULL.txt", "Read.me", "READ.ME", "m",    "link", "dangling"};
  fs::create_directory("sub");
  for (const char* name : {"sub/inner", "victim", "target", "qev-part-0.tmp", "m"})
    WriteFile(name, "keep");
  if (!IsWindows()) {  // making links on Windows takes a privilege
    fs::create_symlink("target", "link");
    fs::create_symlink("nowhere", "dangling");
  }
  std::vector<Member> members;
  std::string lines;
  for (const auto& [names, refused] :
       {std::pair{unsafe, true}, std::pair{devices, IsWindows()}, std::pair{plain, false}}) {
    for (const std::string& name : names) {
      members.push_back(Stored(name, name, kStamp));
      lines += name + (refused ? " ...write error\n" : " ...OK\n");
    }
  }
  const std::string archive = Archive(3, members);
  WriteFile("a.qev", archive);
  // Anything written to the console device would show up here too.
  EXPECT_EQ(Qev({"x", "a.qev"}), OpenLines("x", "a.qev", 3, members.size()) + lines + "total: " +
                                     (IsWindows() ? "13 files  67" : "33 files 184") + " Bytes\n");
  EXPECT_FALSE(fs::exists(escape) || fs::exists("nowhere") || fs::is_symlink("link"));
  EXPECT_EQ(ReadFile("sub/inner") + ReadFile("victim") + ReadFile("target") +
                ReadFile("qev-part-0.tmp") + ReadFile("a.qev"),
            "keepkeepkeepkeep" + archive);
  EXPECT_EQ(ReadFile("m") + ReadFile("link") + ReadFile("dangling"), "mlinkdangling");
  EXPECT_EQ(ModTime("m"), kStamp);
  EXPECT_EQ(ReadFile("Read.me") + ReadFile("READ.ME"), IsWindows() ? "READ.ME" : "Read.meREAD.ME");
  EXPECT_EQ(Listing().size(), IsWindows() ? 17u : 38u);
}

// Offsets up to 4 GiB - 1 reach their bytes: the end of a sparse archive.
TEST_F(Extract, ReachesOffsetsUpTo4GiB) {
  const std::vector<Member> members = {{"low", LiteralStream("low"), 3, 0, kAuto, 0xFFFFFE00},
                                       {"high", LiteralStream("high"), 4, 0, kAuto, 0xFFFFFF00}};
  std::ofstream file("big.qev", std::ios::binary);
  file << Header3(2, 0xFFFFFF10);
  for (const Member& m : members) file.seekp(m.offset) << m.stream;
  file.seekp(0xFFFFFF10) << Archive(3, members).substr(13 + 6 + 7);  // past both streams
  file.close();
  EXPECT_EQ(Qev({"x", "big.qev"}),
            OpenLines("x", "big.qev", 3, 2) + "low ...OK\nhigh ...OK\ntotal: 2 files   7 Bytes\n");
  EXPECT_EQ(ReadFile("low") + ReadFile("high"), "lowhigh");
}

}  // namespace
}  // namespace qev::e2e
