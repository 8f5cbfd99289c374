#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <random>
#include <tuple>

#include "harness.h"

namespace qev::e2e {
namespace {

using Create = E2eTest;

constexpr std::uint64_t kTime = 132600000009876543;  // whole 100 ns units

// Each archive is compared with the one the test lays down itself, and its
// first bytes with the formats' own worked examples.
TEST_F(Create, LaysDownTheFormatsByteForByte) {
  const std::vector<std::array<std::string, 4>> cases = {
      // command, name, content, prefix
      {"c3", "missing.txt", "", "QEV3" + Hex("00 00 D0 00 00 00 00 00 00")},
      {"c4", "missing.txt", "", "QEV4" + Hex("00 00 00 00 10 00 00 00 00 00 00 00 00 00")},
      {"c4", "a", "",
       "QEV4" + Hex("01 00 00 00 12 00 00 00 0E 00 00 00 00 00 B0 C0 22 10 08 04 02 01 00 80 40 "
                    "20 10 08 04 00 00 00")},
      {"c4", "abc.txt", "abc",
       "QEV4" + Hex("01 00 00 00 16 00 00 00 14 00 00 00 B0 D8 AC 60 00 00")},
      {"c3", "a", "hello world",
       "QEV3" + Hex("00 41 C0 00 00 00 00 00 00 B4 59 6D 96 CB 7C 82 EF 6F B9 5B 2C 80 00 00")}};
  for (const auto& [command, name, content, prefix] : cases) {
    SCOPED_TRACE(command + " " + name);
    std::vector<Member> members;
    if (name != "missing.txt") {
      WriteFile(name, content);
      SetModTime(name, kTime);
      members.push_back(Stored(name, content, kTime));
    }
    EXPECT_EQ(Qev({command, "out.dat", name}),
              Echo(command, "out.dat") + (members.empty() ? "" : name + " ...OK\n") +
                  "total: " + std::to_string(members.size()) + " files\n");
    const std::string archive = ReadFile("out.dat");
    EXPECT_EQ(archive.substr(0, prefix.size()), prefix);
    EXPECT_EQ(archive, Archive(command[1] - '0', members));
  }
}

TEST_F(Create, WhatItArchivesExtractsBackUnchanged) {
  std::mt19937 random(5);
  std::string noise(4000000, '\0');  // its stream outgrows the 4 MiB buffer
  for (char& c : noise) c = static_cast<char>(random());
  const std::string longest(255, 'L');  // fills the name field
  fs::create_directory("sub");
  const Names paths = {"bin", "empty", "100%.txt", "noise", "sub/y.txt", longest};
  const Names contents = {std::string("\0\xFF", 2), "", "%s%d", noise, "y", "long"};
  // Stamps in 100 ns units, before 1970 and past 2038 too.
  const std::uint64_t times[] = {
      kTime, 110'000'000'000'000'007, 150'000'000'000'000'003, kTime + 1, kTime + 2, kTime + 3};
  for (std::size_t i = 0; i < paths.size(); ++i) {
    WriteFile(paths[i], contents[i]);
    SetModTime(paths[i], times[i]);
  }
  const std::string lines = "bin ...OK\nempty ...OK\n100%.txt ...OK\nnoise ...OK\n";
  for (const std::string format : {"3", "4"}) {
    // The line shows the name as the pattern gave it; the bare name is stored.
    EXPECT_EQ(Qev({"c" + format, "arc", "bin", "empty", "100%.txt", "noise", "sub/*.txt", longest,
                   "bin"}),
              Echo("c" + format, "arc") + lines + "sub/y.txt ...OK\n" + longest +
                  " ...OK\nbin ...OK\ntotal: 7 files\n");
    fs::create_directory(format);
    fs::current_path(format);
    EXPECT_EQ(Qev({"x", "../arc"}), OpenLines("x", "../arc", std::stoi(format), 7) + lines +
                                        "y.txt ...OK\n" + longest +
                                        " ...OK\nbin ...OK\ntotal: 7 files   4,000,013 Bytes\n");
    for (std::size_t i = 0; i < paths.size(); ++i) {
      const std::string name = fs::path(paths[i]).filename();
      EXPECT_EQ(ReadFile(name), contents[i]) << name;
      // Format 4 keeps no time: the files carry the time of their extraction.
      EXPECT_EQ(ModTime(name) == times[i], format == "3") << name;
    }
    fs::current_path("..");
  }
}

// Whatever stops a creation, the archive path holds nothing afterwards, not
// even the archive that stood there before.
TEST_F(Create, StopsAndLeavesNoArchiveWhenAMemberCannotBeStored) {
  WriteFile("a.txt", "a");
  for (const auto& [name, size] : {std::pair{"big", 1ull << 32},         // past the formats' sizes
                                   std::pair{"near", 4000000000ull}}) {  // its stream passes 4 GiB
    std::ofstream{name};
    fs::resize_file(name, size);
  }
  // The arguments and how the output ends.
  const std::pair<Names, std::string> cases[] = {
      // The pattern matches the archive itself, which is open for writing.
      {{"c4", "m.qev", "a.txt", "*.qev"}, "a.txt ...OK\nm.qev ...cannot open\n"},
      {{"c3", "m.qev", "a.txt", "big"}, "a.txt ...OK\nbig ...too large\n"},
      {{"c4", "m.qev", "near"}, "near ...too large\n"},
      // Members after the one that stops z3 or z4 may be compressed ahead.
      {{"z4", "m.qev", "a.txt", "*.qev", "a.txt"}, "a.txt ...OK\nm.qev ...cannot open\n"},
      {{"z3", "m.qev", "a.txt", "big", "a.txt"}, "a.txt ...OK\nbig ...too large\n"},
      // No extraction would write a name holding '\\'; a FIFO is no file.
      {{"c4", "m.qev", "a.txt", "a\\b"}, "a.txt ...OK\na\\b ...cannot open\n"},
      {{"c4", "m.qev", "pipe", "a.txt"}, "pipe ...cannot open\n"}};
  if (!IsWindows()) {
    WriteFile("a\\b", "odd");
    ASSERT_EQ(mkfifo("pipe", 0644), 0);
  }
  for (const auto& [args, end] : cases) {
    SCOPED_TRACE(args.back());
    if (IsWindows() && (args.back() == "a\\b" || args[2] == "pipe")) continue;
    WriteFile("m.qev", "an older archive");
    const std::string out = Qev(args);
    EXPECT_TRUE(out.starts_with(Echo(args[0], "m.qev")) && out.ends_with(end)) << out;
    EXPECT_FALSE(fs::exists("m.qev"));
  }
}

// Members stream through a few MiB: a 64 MiB file goes into either format
// and comes back out under a 48 MiB address-space limit, byte for byte.
TEST_F(Create, LargeMembersNeedLittleMemory) {
  if (!MemoryLimitApplies()) GTEST_SKIP();
  std::string content(64u << 20, '\0');
  std::mt19937_64 rng(12);
  for (std::size_t i = 0; i < content.size(); i += 8) {
    const std::uint64_t word = rng();
    content.replace(i, 8, reinterpret_cast<const char*>(&word), 8);
  }
  WriteFile("orig", content);
  for (const std::string command : {"c4", "c3"}) {
    fs::copy_file("orig", "big", fs::copy_options::overwrite_existing);
    EXPECT_EQ(Qev({command, "big.qev", "big"}, "-v 49152"),
              Echo(command, "big.qev") + "big ...OK\ntotal: 1 files\n");
    fs::remove("big");
    EXPECT_EQ(Qev({"x", "big.qev"}, "-v 49152"),
              OpenLines("x", "big.qev", command == "c3" ? 3 : 4, 1) +
                  "big ...OK\ntotal: 1 files  67,108,864 Bytes\n");
    EXPECT_TRUE(ReadFile("big") == content);
  }
}

// A pattern finds files only, never a directory, a link to one, "." or
// "..", and keeps its directory part on the line. Windows matches without
// case, takes '\\' as a separator too and finds in the file system's order.
TEST_F(Create, PatternsFindFilesOnly) {
  fs::create_directories("in/sub");
  fs::current_path("in");
  for (const char* name : {"b", "a.txt", ".hidden", "x[1]", "sub/y.txt"}) WriteFile(name, "");
  Names all = {".hidden", "a.txt", "b", "x[1]"};
  Names found = {"a.txt", "sub\\y.txt"};
  if (!IsWindows()) {
    for (const char* name : {"A.TXT", "\xE9"}) WriteFile(name, "");
    fs::create_directory_symlink("sub", "link");
    all = {".hidden", "A.TXT", "a.txt", "b", "x[1]", "\xE9"};
    found = {"A.TXT", "link/y.txt"};
  }
  const std::string stars = std::string(5000, '*') + "z";  // costs no time
  const std::pair<Names, Names> cases[] = {
      {{"*"}, all},
      {{"?.TXT", "sub\\*", "link/y.t?t"}, found},
      {{"b", "sub/*.t?t", "b", "./x[1]"}, {"b", "sub/y.txt", "b", "./x[1]"}},
      {{"", "c.txt", "..", "sub", "sub/", "missing/*", "*/y.txt", stars}, {}}};
  for (const auto& [patterns, names] : cases) {
    Names args = {"c4", "../arc"};
    args.insert(args.end(), patterns.begin(), patterns.end());
    std::string out = Qev(args);
    Names lines;
    for (std::size_t at = out.find('\n') + 1, end; (end = out.find(" ...OK\n", at)) != out.npos;
         at = end + 7) {
      lines.push_back(out.substr(at, end - at));
    }
    if (IsWindows() && patterns[0] == "*") std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, names);
    EXPECT_TRUE(out.ends_with("total: " + std::to_string(names.size()) + " files\n")) << out;
  }
}

}  // namespace
}  // namespace qev::e2e

namespace qev::e2e {
namespace {

using Compress = E2eTest;

// z3 and z4 write what x reads back and t passes; every stream is shorter
// than c3's and c4's but for random bytes, and t writes nothing.
TEST_F(Compress, WhatItArchivesExtractsBackAndTestsSound) {
  std::mt19937 random(9);
  std::string noise(20000, '\0'), period8191(8191, '\0'), period8192(8192, '\0'), text;
  for (auto* s : {&noise, &period8191, &period8192}) {
    for (char& c : *s) c = static_cast<char>(random());
  }
  while (text.size() < 30000) text += "line " + std::to_string(random() % 500) + " of the text\n";
  text.resize(30000);
  const Names names = {"empty", "one", "run", "zeros", "p8191", "p8192", "text", "noise"};
  const Names contents = {"",
                          "a",
                          std::string(40000, 'a'),
                          std::string(40000, '\0'),
                          period8191 + period8191 + period8191.substr(0, 5000),
                          period8192 + period8192 + period8192.substr(0, 5000),
                          text,
                          noise};
  std::string lines;
  for (std::size_t i = 0; i < names.size(); ++i) {
    WriteFile(names[i], contents[i]);
    lines += names[i] + " ...OK\n";
  }
  for (const std::string command : {"z3", "Z4"}) {
    SCOPED_TRACE(command);
    const int format = command[1] - '0';
    Names args = {command, "arc"};
    args.insert(args.end(), names.begin(), names.end());
    EXPECT_EQ(Qev(args), Echo(command, "arc") + lines + "total: 8 files\n");
    const std::string total = "total: 8 files 172,767 Bytes\n";
    EXPECT_EQ(Qev({"t", "arc"}), OpenLines("t", "arc", format, 8) + lines + total);
    EXPECT_EQ(Listing(),
              Names({"arc", "empty", "noise", "one", "p8191", "p8192", "run", "text", "zeros"}));
    fs::create_directory("out");
    fs::current_path("out");
    EXPECT_EQ(Qev({"x", "../arc"}), OpenLines("x", "../arc", format, 8) + lines + total);
    for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(ReadFile(names[i]), contents[i]);
    fs::current_path("..");
    fs::remove_all("out");
    // Smaller than the literal-only archive by far: all but the noise
    // compress to a fraction.
    args[0] = "c" + command.substr(1);
    args[1] = "plain";
    Qev(args);
    EXPECT_LT(fs::file_size("arc"), fs::file_size("plain") / 2 + noise.size() * 9 / 16);
    fs::remove("plain");
    // A flipped bit in the first stream (the empty member's end marker
    // becomes a literal): format 3's sum catches it, format 4 decodes
    // another length.
    std::string damaged = ReadFile("arc");
    damaged[format == 3 ? 13 : 16] ^= static_cast<char>(0x80);
    WriteFile("damaged", damaged);
    EXPECT_EQ(Qev({"t", "damaged", "empty", "one"}),
              OpenLines("t", "damaged", format, 8) + "empty" +
                  (format == 3 ? " ...checksum error\n" : " ...size error\n") +
                  "one ...OK\ntotal: 1 files   1 Bytes\n");
    fs::remove("damaged");
  }
}

// t's verdict on each member: a checksum error first (format 3), then a
// size error, else OK; the total counts the members that passed.
TEST_F(Compress, TestGivesOneVerdictPerMember) {
  std::vector<Member> members = {Stored("ok", "abc"), Stored("sum", "abc"), Stored("size", "abc"),
                                 Stored("both", "abc"), Stored("cut", "xyz")};
  members[1].checksum = members[3].checksum = 1;
  members[2].size = members[3].size = 4;
  members[4].stream.resize(2);
  for (const int format : {3, 4}) {
    WriteFile("a", Archive(format, members));
    EXPECT_EQ(Qev({"t", "a"}),
              OpenLines("t", "a", format, 5) + "ok ...OK\n" +
                  (format == 3 ? "sum ...checksum error\nsize ...size error\n"
                                 "both ...checksum error\ncut ...size error\n"
                                 "total: 1 files   3 Bytes\n"
                               : "sum ...OK\nsize ...size error\nboth ...size error\n"
                                 "cut ...size error\ntotal: 2 files   6 Bytes\n"));
    EXPECT_EQ(Listing(), Names({"a"}));
  }
}

}  // namespace
}  // namespace qev::e2e
