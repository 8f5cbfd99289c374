#include <filesystem>
#include <fstream>

#include "archive_bytes.h"
#include "harness.h"
#include "limited_run.h"

namespace qev::e2e {
namespace {

class Extract : public LimitedRunTest {};

constexpr std::uint64_t kTime = 132500000001234567;  // whole 100 ns units

// "first" as literals; "mid" with a back-reference (abababa); "cut", whose
// stream lacks its end marker, so that reading one byte past its extent
// would change what it decodes to.
std::vector<Member> ThreeMembers() {
  Member mid;
  mid.name = "mid";
  mid.stream = Bytes({0xB0, 0xD8, 0x80, 0x01, 0x20, 0x00, 0x00});
  mid.size = 7;
  mid.time = kTime + 10;
  Member cut = Stored("cut", "xyz", kTime + 20);
  cut.stream.resize(4);
  return {Stored("first", "abc", kTime), mid, cut, Stored("last", "\x80\xFF", kTime + 30)};
}

TEST_F(Extract, DecodesBackReferencesWithinEachExtentAndRestoresTimes) {
  WriteFile("a.qev", Format3Archive(ThreeMembers()));
  // A filter picks the one member; its extent still ends where the next
  // member begins.
  EXPECT_EQ(Qev({"x", "a.qev", "CUT"}).out,
            "command: x , file: a.qev\n"
            "open... a.qev is QEV3 file.\n"
            "file count: 4\n"
            "cut ...OK\n"
            "total: 1 files   3 Bytes\n");
  EXPECT_EQ(ReadFile("cut"), "xyz");
  EXPECT_FALSE(Exists("first"));

  EXPECT_EQ(Qev({"x", "a.qev"}).out,
            "command: x , file: a.qev\n"
            "open... a.qev is QEV3 file.\n"
            "file count: 4\n"
            "first ...OK\nmid ...OK\ncut ...OK\nlast ...OK\n"
            "total: 4 files  15 Bytes\n");
  EXPECT_EQ(ReadFile("first"), "abc");
  EXPECT_EQ(ReadFile("mid"), "abababa");
  EXPECT_EQ(ReadFile("last"), "\x80\xFF");
  EXPECT_EQ(ModTime("first"), kTime);
  EXPECT_EQ(ModTime("mid"), kTime + 10);
  EXPECT_EQ(ModTime("last"), kTime + 30);

  // Format 4 keeps no time: the files carry the time of their extraction.
  WriteFile("b.qev", Format4Archive(ThreeMembers()));
  EXPECT_EQ(Qev({"x", "b.qev"}).out,
            "command: x , file: b.qev\n"
            "open... b.qev is QEV4 file.\n"
            "file count: 4\n"
            "first ...OK\nmid ...OK\ncut ...OK\nlast ...OK\n"
            "total: 4 files  15 Bytes\n");
  EXPECT_EQ(ReadFile("mid"), "abababa");
  EXPECT_EQ(ReadFile("cut"), "xyz");
  EXPECT_GT(ModTime("mid"), kTime + 10);
}

TEST_F(Extract, DamagedIndexesAndChecksumsStillYieldWhatTheBytesHold) {
  Member p = Stored("p", "hello");
  p.checksum = ByteSum(p.stream) + 1;
  // r's offset lies before q's, so q's extent ends before it starts: q is
  // read to the end of the archive. r itself points back at p's stream.
  Member r;
  r.name = "r";
  r.offset = 13;
  r.size = 5;
  r.checksum = ByteSum(p.stream);
  // gone lies wholly past the end: an empty file, counted by its stored size.
  Member gone;
  gone.name = "gone";
  gone.offset = 5000;
  gone.size = 9;
  gone.checksum = 0;
  const std::vector<Member> members = {p, Stored("q", "world"), r, gone};

  WriteFile("a.qev", Format3Archive(members));
  const std::string lines = "q ...OK\nr ...OK\ngone ...OK\ntotal: 4 files  24 Bytes\n";
  EXPECT_EQ(Qev({"x", "a.qev"}).out,
            "command: x , file: a.qev\nopen... a.qev is QEV3 file.\nfile count: 4\n"
            "p ...checksum error ...OK\n" +
                lines);
  EXPECT_EQ(ReadFile("p"), "hello");
  EXPECT_EQ(ReadFile("q"), "world");
  EXPECT_EQ(ReadFile("r"), "hello");
  EXPECT_EQ(ReadFile("gone"), "");

  // Format 4 has no checksum to notice anything.
  std::vector<Member> shifted = members;
  shifted[2].offset = 16;
  WriteFile("b.qev", Format4Archive(shifted));
  EXPECT_EQ(Qev({"x", "b.qev"}).out,
            "command: x , file: b.qev\nopen... b.qev is QEV4 file.\nfile count: 4\n"
            "p ...OK\n" +
                lines);
  EXPECT_EQ(ReadFile("r"), "hello");
}

TEST_F(Extract, WritesNothingOutsideTheCurrentDirectoryNorOverTheArchive) {
  MakeDir("sub");
  WriteFile("sub/inner", "keep");
  WriteFile("victim", "keep");
  const std::string escape = std::filesystem::path(Dir()).filename().string() + "-escape";
  const std::vector<std::string> unsafe = {
      "../" + escape, "sub/inner", Dir() + "/victim", "", ".", "..", "a\\b", "a.qev"};
  std::vector<Member> members;
  std::string expected = "command: x , file: a.qev\nopen... a.qev is QEV3 file.\nfile count: " +
                         std::to_string(unsafe.size() + 1) + "\n";
  for (const std::string& name : unsafe) {
    members.push_back(Stored(name, "evil"));
    expected += name + " ...write error\n";
  }
  members.push_back(Stored("fine", "good"));
  expected += "fine ...OK\ntotal: 1 files   4 Bytes\n";
  const std::string archive = Format3Archive(members);
  WriteFile("a.qev", archive);

  EXPECT_EQ(Qev({"x", "a.qev"}).out, expected);
  EXPECT_FALSE(Exists("../" + escape));
  EXPECT_EQ(ReadFile("sub/inner"), "keep");
  EXPECT_EQ(ReadFile("victim"), "keep");
  EXPECT_FALSE(Exists("a\\b"));
  EXPECT_EQ(ReadFile("a.qev"), archive);
  EXPECT_EQ(ReadFile("fine"), "good");
}

TEST_F(Extract, ReplacesWhatItMayAndReportsWhatItMayNot) {
  WriteFile("old", "old contents");
  WriteFile("locked", "locked contents");
  SetReadOnly("locked", true);
  MakeDir("dir");
  WriteFile("a.qev", Format4Archive({Stored("old", "new"), Stored("locked", "x"),
                                     Stored("dir", "y"), Stored("after", "z")}));
  EXPECT_EQ(Qev({"x", "a.qev"}).out,
            "command: x , file: a.qev\nopen... a.qev is QEV4 file.\nfile count: 4\n"
            "old ...OK\nlocked ...write error\ndir ...write error\nafter ...OK\n"
            "total: 2 files   4 Bytes\n");
  EXPECT_EQ(ReadFile("old"), "new");
  EXPECT_EQ(ReadFile("locked"), "locked contents");
  EXPECT_EQ(ReadFile("after"), "z");
}

TEST_F(Extract, MembersThatDoNotFitInMemoryOrOnDiskAreNotCounted) {
  if (!LimitsApply()) GTEST_SKIP() << "resource limits apply to native builds only";
  // A member of 256 MiB stored bytes (a hole of zeros) cannot be read into
  // 128 MiB of address space; the members around it still can.
  constexpr std::uint32_t kHole = 256u << 20;
  const std::string small = LiteralStream("ok");
  const auto bigAt = static_cast<std::uint32_t>(16 + small.size());
  const std::uint32_t tailAt = bigAt + kHole;
  const std::string plain = std::string("small") + '\0' + Le32(16) + Le32(2) + Le32(0) + "big" +
                            '\0' + Le32(bigAt) + Le32(1) + Le32(0) + "tail" + '\0' + Le32(tailAt) +
                            Le32(2) + Le32(0);
  {
    std::ofstream out("mem.qev", std::ios::binary);
    out << "QEV4" << Le32(3) << Le32(tailAt + static_cast<std::uint32_t>(small.size()))
        << Le32(static_cast<std::uint32_t>(plain.size())) << small;
    out.seekp(tailAt);
    out << small << LiteralStream(plain);
  }
  EXPECT_EQ(QevLimited("-v 131072", {"x", "mem.qev"}),
            "command: x , file: mem.qev\nopen... mem.qev is QEV4 file.\nfile count: 3\n"
            "small ...OK\nbig ...too large\ntail ...OK\ntotal: 2 files   4 Bytes\n");
  EXPECT_FALSE(Exists("big"));

  // A file that the size limit cuts short is removed, not reported as done.
  WriteFile("disk.qev",
            Format4Archive({Stored("huge", std::string(1 << 20, 'h')), Stored("tiny", "t")}));
  EXPECT_EQ(QevLimited("-f 64", {"x", "disk.qev"}),
            "command: x , file: disk.qev\nopen... disk.qev is QEV4 file.\nfile count: 2\n"
            "huge ...write error\ntiny ...OK\ntotal: 1 files   1 Bytes\n");
  EXPECT_FALSE(Exists("huge"));
}

}  // namespace
}  // namespace qev::e2e
