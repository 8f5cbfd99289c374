#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <tuple>

#include "harness.h"

namespace qev::e2e {
namespace {

using Create = E2eTest;

constexpr std::uint64_t kTime = 132600000009876543;  // whole 100 ns units

// c3, c4 (as the tests' encoders), z3, z4: t passes, x gives every file back.
TEST_F(Create, WhatItArchivesTestsAndExtractsBackUnchanged) {
  const std::string noise = Noise(4000000, 5), text = Text(30000, 5);
  fs::create_directory("sub");
  // A 255-byte name; stamps in 100 ns units, before 1970 and past 2038 too.
  const std::vector<std::tuple<std::string, std::string, std::uint64_t>> files = {
      {"bin", std::string("\0\xFF", 2), kTime},
      {"empty", "", 110'000'000'000'000'007},
      {"100%.txt", "%s%d", 150'000'000'000'000'003},
      {"noise", noise, kTime + 3},
      {"sub/y.txt", "y", kTime + 4},
      {std::string(255, 'L'), "long", kTime + 5},
      {"text", text, kTime + 6}};
  Names args = {"", "arc"};
  std::string given, stored;
  std::vector<Member> members;
  for (const auto& [path, content, time] : files) {
    WriteFile(path, content);
    SetModTime(path, time);
    args.push_back(path == "sub/y.txt" ? "sub/*.txt" : path);
    members.push_back(Stored(fs::path(path).filename(), content, time));
    given += path + " ...OK\n";
    stored += members.back().name + " ...OK\n";
  }
  const std::string total = "total: 7 files   4,030,011 Bytes\n";
  for (const std::string command : {"c3", "c4", "z3", "Z4"}) {
    SCOPED_TRACE(command);
    const int format = command[1] - '0';
    args[0] = command;
    EXPECT_EQ(Qev(args), Echo(command, "arc") + given + "total: 7 files\n");
    const std::string archive = ReadFile("arc");
    EXPECT_TRUE(command[0] == 'c' ? archive == Archive(format, members)
                                  : archive.size() < noise.size() * 9 / 8 + 15000)
        << archive.size();
    EXPECT_EQ(Qev({"t", "arc"}), OpenLines("t", "arc", format, 7) + stored + total);
    fs::create_directory(command);
    fs::current_path(command);
    EXPECT_EQ(Qev({"x", "../arc"}), OpenLines("x", "../arc", format, 7) + stored + total);
    for (const auto& [path, content, time] : files) {
      const std::string name = fs::path(path).filename();
      EXPECT_TRUE(ReadFile(name) == content) << name;
      // Format 4 keeps no time: the files carry the time of their extraction.
      EXPECT_EQ(ModTime(name) == time, format == 3) << name;
    }
    fs::current_path("..");
  }
}

// Whatever stops a creation, the archive path holds nothing afterwards.
TEST_F(Create, StopsAndLeavesNoArchiveWhenAMemberCannotBeStored) {
  WriteFile("a.txt", "a");
  for (const auto& [name, size] : {std::pair{"big", 1ull << 32},         // past the formats' sizes
                                   std::pair{"near", 4000000000ull}}) {  // its stream passes 4 GiB
    std::ofstream{name};
    fs::resize_file(name, size);
  }
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
      {{"c4", "m.qev", "pipe", "a.txt"}, "pipe ...cannot open\n"},
      // A file that reads shorter than its size (a kernel's file, 4096).
      {{"c3", "m.qev", "a.txt", "short"}, "a.txt ...OK\nshort ...cannot open\n"}};
  const char* const kShort = "/sys/devices/system/cpu/online";
  const bool posix = !IsWindows();
  if (posix) {
    WriteFile("a\\b", "odd");
    ASSERT_EQ(mkfifo("pipe", 0644), 0);
    if (fs::exists(kShort)) fs::create_symlink(kShort, "short");
  }
  for (const auto& [args, end] : cases) {
    SCOPED_TRACE(args.back());
    if (!posix && (args.back() == "a\\b" || args[2] == "pipe")) continue;
    if (args.back() == "short" && !fs::exists("short")) continue;
    WriteFile("m.qev", "an older archive");
    const std::string out = Qev(args);
    EXPECT_TRUE(out.starts_with(Echo(args[0], "m.qev")) && out.ends_with(end)) << out;
    EXPECT_FALSE(fs::exists("m.qev"));
  }
}

// 64 MiB archived and extracted in 48 MiB; 100,000 small members in 24 MiB.
TEST_F(Create, LargeAndManyMembersNeedLittleMemory) {
  if (!MemoryLimitApplies()) GTEST_SKIP();
  const std::string content = Noise(64u << 20, 12);
  WriteFile("orig", content);
  for (const std::string command : {"c4", "c3", "z4"}) {
    fs::copy_file("orig", "big", fs::copy_options::overwrite_existing);
    EXPECT_EQ(Qev({command, "big.qev", "big"}, "-v 49152"),
              Echo(command, "big.qev") + "big ...OK\ntotal: 1 files\n");
    fs::remove("big");
    EXPECT_EQ(Qev({"x", "big.qev"}, "-v 49152"),
              OpenLines("x", "big.qev", command == "c3" ? 3 : 4, 1) +
                  "big ...OK\ntotal: 1 files  67,108,864 Bytes\n");
    EXPECT_TRUE(ReadFile("big") == content);
  }
  fs::create_directories("many/out");
  fs::current_path("many");
  const auto name = [](int i) { return std::string(1, 'm').append(std::to_string(i)); };
  const auto small = [](int i) { return std::to_string(i) + std::string(50 + i % 351, 'x'); };
  for (int i = 0; i < 100000; ++i) WriteFile(name(i), small(i));
  const std::string limit = "-v 24576", total = "total: 100000 files  22,983,360 Bytes\n";
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
  for (const int i : {0, 4567, 99999}) EXPECT_EQ(ReadFile(name(i)), small(i));
}

// Patterns find files only; Windows: no case, '\\' a separator, disk order.
TEST_F(Create, PatternsFindFilesOnly) {
  fs::create_directories("in/sub");
  fs::current_path("in");
  for (const char* name : {"b", "a.txt", ".hidden", "x[1]", "sub/y.txt"}) WriteFile(name, "");
  Names all = {".hidden", "a.txt", "b", "x[1]"};
  Names found = {"a.txt", "sub\\y.txt", "SUB\\y.txt"};
  if (!IsWindows()) {
    for (const char* name : {"A.TXT", "\xE9"}) WriteFile(name, "");
    fs::create_directory_symlink("sub", "link");
    all = {".hidden", "A.TXT", "a.txt", "b", "x[1]", "\xE9"};
    found = {"A.TXT", "link/y.txt"};
  }
  const std::string stars = std::string(5000, '*') + "z";  // costs no time
  const std::pair<Names, Names> cases[] = {
      {{"c4", "../arc", "*"}, all},
      {{"c4", "../arc", "?.TXT", "sub\\*", "SUB\\Y.TXT", "link/y.t?t"}, found},
      {{"c4", "../arc", "b", "sub/*.t?t", "b", "./x[1]"}, {"b", "sub/y.txt", "b", "./x[1]"}},
      {{"c3", "../arc", "", "c.txt", "..", "sub", "sub/", "missing/*", "*/y.txt", stars}, {}},
      {{"c4", "../arc", "missing"}, {}}};
  for (const auto& [args, names] : cases) {
    const std::string out = Qev(args);
    Names lines;
    for (std::size_t at = out.find('\n') + 1, end; (end = out.find(" ...OK\n", at)) != out.npos;
         at = end + 7)
      lines.push_back(out.substr(at, end - at));
    if (IsWindows() && args[2] == "*") std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, names);
    if (names.empty()) {  // the empty archives, byte for byte
      EXPECT_EQ(ReadFile("../arc"), Archive(args[0][1] - '0', {}));
    }
    EXPECT_TRUE(out.ends_with("total: " + std::to_string(names.size()) + " files\n")) << out;
  }
}

using Dispatcher = E2eTest;

// Commands, usage lines and echoes; --help and --version only alone.
TEST_F(Dispatcher, UsageLineOrEchoAsTyped) {
  const std::string help = Qev({"--help"});
  EXPECT_TRUE(help.starts_with("Usage: ")) << help;
  for (const char* word : {"\n  a ", "\n  d ", "\n  l ", "\n  z3, z4 "})
    EXPECT_NE(help.find(word), std::string::npos) << word;
  EXPECT_TRUE(Qev({"--version"}).starts_with("qev 1.")) << Qev({"--version"});
  WriteFile("arc", "keep");
  // Creation needs at least one name; no other word is a command.
  std::vector<Names> usage = {{}, {"l"}, {"c3", "arc"}, {"C4", "new"}};
  for (const char* word : {"list", "c", "c5", "x ", "", "-l", "lx", "--help"})
    usage.push_back({word, "arc", "a"});
  const std::string tail = " <command> <archive> <file1> <file2> ...\n";
  for (const Names& args : usage) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const std::string out = Qev(args);
    // A runner other than the plain binary passes a program name of its own.
    if (!IsWindows() && Command().find(' ') == std::string::npos) {
      EXPECT_EQ(out, "Usage: " + Command() + tail);
    }
    EXPECT_TRUE(out.starts_with("Usage: ") && out.ends_with(tail) &&
                out.find('\n') == out.size() - 1);
  }
  EXPECT_FALSE(fs::exists("new"));
  // A missing or foreign file is neither format: the echo line is all.
  EXPECT_EQ(Qev({"L", "missing"}), Echo("L", "missing"));
  EXPECT_EQ(Qev({"X", "my archive", "a.txt", "B.TXT"}), Echo("X", "my archive"));
  EXPECT_EQ(Qev({"x", "arc"}), Echo("x", "arc"));
  EXPECT_EQ(ReadFile("arc"), "keep");
}

}  // namespace
}  // namespace qev::e2e
