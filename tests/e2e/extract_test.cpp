#include <filesystem>
#include <fstream>

#include "archive_bytes.h"
#include "harness.h"
#include "limited_run.h"

namespace qev::e2e {
namespace {

class Extract : public LimitedRunTest {};

constexpr std::uint64_t kTime = 132500000001234567;  // whole 100 ns units

// "mid" holds a back-reference (abababa); "cut" lacks its end marker, so
// that reading one byte past its extent would change what it decodes to.
std::vector<Member> FourMembers() {
  Member mid{"mid", Bytes({0xB0, 0xD8, 0x80, 0x01, 0x20, 0x00, 0x00}), 7, kTime + 10};
  Member cut = Stored("cut", "xyz", kTime + 20);
  cut.stream.resize(4);
  return {Stored("first", "abc", kTime), mid, cut, Stored("last", "\x80\xFF", kTime + 30)};
}

TEST_F(Extract, DecodesEachExtentAndRestoresFormat3Times) {
  WriteFile("a.qev", Format3Archive(FourMembers()));
  // A filter picks one member; its extent still ends where the next begins.
  EXPECT_EQ(Qev({"x", "a.qev", "CUT"}).out,
            OpenLines("x", "a.qev", 3, 4) + "cut ...OK\ntotal: 1 files   3 Bytes\n");
  EXPECT_EQ(ReadFile("cut"), "xyz");
  EXPECT_FALSE(Exists("first"));

  const std::string lines =
      "first ...OK\nmid ...OK\ncut ...OK\nlast ...OK\n"
      "total: 4 files  15 Bytes\n";
  EXPECT_EQ(Qev({"x", "a.qev"}).out, OpenLines("x", "a.qev", 3, 4) + lines);
  EXPECT_EQ(ReadFile("first") + ReadFile("mid") + ReadFile("last"), "abcabababa\x80\xFF");
  EXPECT_EQ(ModTime("first"), kTime);
  EXPECT_EQ(ModTime("last"), kTime + 30);

  // Format 4 keeps no time: the files carry the time of their extraction.
  WriteFile("b.qev", Format4Archive(FourMembers()));
  EXPECT_EQ(Qev({"x", "b.qev"}).out, OpenLines("x", "b.qev", 4, 4) + lines);
  EXPECT_EQ(ReadFile("mid") + ReadFile("cut"), "abababaxyz");
  EXPECT_GT(ModTime("mid"), kTime + 10);
}

TEST_F(Extract, DamagedIndexesAndChecksumsYieldWhatTheBytesHold) {
  Member p = Stored("p", "hello");
  p.checksum = ByteSum(p.stream) + 1;
  // r's offset lies before q's, so q's extent ends before it starts and q
  // is read to the end of the archive; r points back at p's stream.
  const Member r{"r", "", 5, 0, ByteSum(p.stream), 13};
  // gone lies wholly past the end: an empty file, counted by its size.
  const Member gone{"gone", "", 9, 0, 0, 5000};
  std::vector<Member> members = {p, Stored("q", "world"), r, gone};
  const std::string lines = "q ...OK\nr ...OK\ngone ...OK\ntotal: 4 files  24 Bytes\n";

  WriteFile("a.qev", Format3Archive(members));
  EXPECT_EQ(Qev({"x", "a.qev"}).out,
            OpenLines("x", "a.qev", 3, 4) + "p ...checksum error ...OK\n" + lines);
  EXPECT_EQ(ReadFile("p") + ReadFile("q") + ReadFile("r") + ReadFile("gone"), "helloworldhello");

  members[2].offset = 16;  // format 4 has no checksum to notice anything
  WriteFile("b.qev", Format4Archive(members));
  EXPECT_EQ(Qev({"x", "b.qev"}).out, OpenLines("x", "b.qev", 4, 4) + "p ...OK\n" + lines);
  EXPECT_EQ(ReadFile("r"), "hello");
}

TEST_F(Extract, WritesNothingOutsideTheCurrentDirectoryNorOverTheArchive) {
  MakeDir("sub");
  WriteFile("sub/inner", "keep");
  WriteFile("victim", "keep");
  WriteFile("old", "old");
  const std::string escape = std::filesystem::path(Dir()).filename().string() + "-escape";
  const std::vector<std::string> unsafe = {
      "../" + escape, "sub/inner", Dir() + "/victim", "", ".", "..", "a\\b", "a.qev", "sub"};
  std::vector<Member> members;
  std::string expected = OpenLines("x", "a.qev", 3, unsafe.size() + 1);
  for (const std::string& name : unsafe) {
    members.push_back(Stored(name, "evil"));
    expected += name + " ...write error\n";
  }
  members.push_back(Stored("old", "new"));
  const std::string archive = Format3Archive(members);
  WriteFile("a.qev", archive);

  EXPECT_EQ(Qev({"x", "a.qev"}).out, expected + "old ...OK\ntotal: 1 files   3 Bytes\n");
  EXPECT_FALSE(Exists("../" + escape));
  EXPECT_EQ(ReadFile("sub/inner") + ReadFile("victim"), "keepkeep");
  EXPECT_FALSE(Exists("a\\b"));
  EXPECT_EQ(ReadFile("a.qev"), archive);
  EXPECT_EQ(ReadFile("old"), "new");
}

TEST_F(Extract, MembersThatDoNotFitInMemoryAreNotCounted) {
  if (!MemoryLimitApplies()) GTEST_SKIP() << "no address-space limit reaches this build";
  // "big" has 256 MiB of stored bytes (a hole of zeros), more than 128 MiB
  // of address space can hold; the members around it still fit.
  const std::string small = LiteralStream("ok");
  const auto bigAt = static_cast<std::uint32_t>(16 + small.size());
  const std::uint32_t tailAt = bigAt + (256u << 20);
  const std::string plain = std::string("small\0", 6) + Le32(16) + Le32(2) + Le32(0) +
                            std::string("big\0", 4) + Le32(bigAt) + Le32(1) + Le32(0) +
                            std::string("tail\0", 5) + Le32(tailAt) + Le32(2) + Le32(0);
  {
    std::ofstream out("mem.qev", std::ios::binary);
    out << "QEV4" << Le32(3) << Le32(tailAt + static_cast<std::uint32_t>(small.size()))
        << Le32(static_cast<std::uint32_t>(plain.size())) << small;
    out.seekp(tailAt);
    out << small << LiteralStream(plain);
  }
  EXPECT_EQ(QevLimited("-v 131072", {"x", "mem.qev"}),
            OpenLines("x", "mem.qev", 4, 3) +
                "small ...OK\nbig ...too large\ntail ...OK\ntotal: 2 files   4 Bytes\n");
  EXPECT_FALSE(Exists("big"));
}

TEST_F(Extract, MembersThatDoNotFitOnDiskAreNotCounted) {
  // A file that the size limit (32 KiB) cuts short is removed, not counted.
  WriteFile("disk.qev",
            Format4Archive({Stored("huge", std::string(1 << 20, 'h')), Stored("tiny", "t")}));
  EXPECT_EQ(QevLimited("-f 64", {"x", "disk.qev"}),
            OpenLines("x", "disk.qev", 4, 2) +
                "huge ...write error\ntiny ...OK\ntotal: 1 files   1 Bytes\n");
  EXPECT_FALSE(Exists("huge"));
}

}  // namespace
}  // namespace qev::e2e
