#include <filesystem>
#include <random>
#include <sstream>

#include "archive_bytes.h"
#include "harness.h"
#include "limited_run.h"

namespace qev::e2e {
namespace {

namespace fs = std::filesystem;

class Create : public LimitedRunTest {};

constexpr std::uint64_t kTime = 132600000009876543;  // whole 100 ns units

// Checks that every member line reads "<name> ...OK" and returns the last
// line, which tells how the run ended.
std::string LastLineAfterOks(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
    EXPECT_TRUE(lines[i].ends_with(" ...OK")) << lines[i];
  }
  return lines.size() > 1 ? lines.back() : "";
}

TEST_F(Create, LaysDownTheFormatsByteForByte) {
  EXPECT_EQ(Qev({"c3", "out.dat", "missing.txt"}).out,
            "command: c3 , file: out.dat\ntotal: 0 files\n");
  EXPECT_EQ(ReadFile("out.dat"), "QEV3" + Bytes({0x00, 0x00, 0xD0, 0, 0, 0, 0, 0, 0}));
  Qev({"c4", "out.dat", "missing.txt"});
  EXPECT_EQ(ReadFile("out.dat"), "QEV4" + Le32(0) + Le32(16) + Le32(0) + Bytes({0, 0}));

  WriteFile("a", "");
  Qev({"c4", "out.dat", "a"});
  EXPECT_EQ(ReadFile("out.dat"), "QEV4" + Le32(1) + Le32(18) + Le32(14) + Bytes({0, 0}) +
                                     Bytes({0xB0, 0xC0, 0x22, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00,
                                            0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x00, 0x00, 0x00}));

  WriteFile("abc.txt", "abc");
  SetModTime("abc.txt", kTime);
  EXPECT_EQ(Qev({"c4", "out.dat", "abc.txt"}).out,
            "command: c4 , file: out.dat\nabc.txt ...OK\ntotal: 1 files\n");
  const std::string four = ReadFile("out.dat");
  EXPECT_EQ(four.substr(4, 18), Le32(1) + Le32(22) + Le32(20) + "\xB0\xD8\xAC\x60" + Bytes({0, 0}));
  EXPECT_EQ(four, Format4Archive({Stored("abc.txt", "abc")}));
  Qev({"c3", "out.dat", "abc.txt"});
  EXPECT_EQ(ReadFile("out.dat"), Format3Archive({Stored("abc.txt", "abc", kTime)}));

  WriteFile("a", "hello world");
  SetModTime("a", kTime);
  Qev({"c3", "out.dat", "a"});
  const std::string three = ReadFile("out.dat");
  EXPECT_EQ(three.substr(0, 28), "QEV3" + Bytes({0x00, 0x41, 0xC0, 0,    0,    0,    0,    0,
                                                 0,    0xB4, 0x59, 0x6D, 0x96, 0xCB, 0x7C, 0x82,
                                                 0xEF, 0x6F, 0xB9, 0x5B, 0x2C, 0x80, 0x00, 0x00}));
  EXPECT_EQ(three, Format3Archive({Stored("a", "hello world", kTime)}));
}

TEST_F(Create, WhatItArchivesListsAndExtractsBackUnchanged) {
  std::mt19937 random(5);
  std::string noise(4000000, '\0');  // its stream outgrows the 4 MiB buffer
  for (char& c : noise) c = static_cast<char>(random());
  std::string every;
  for (int i = 0; i < 1024; ++i) every.push_back(static_cast<char>(i));
  const std::string longest(255, 'L');  // fills the name field
  MakeDir("sub");
  const std::vector<std::pair<std::string, std::string>> files = {
      {"bin", every},   {"empty", ""},      {"100%.txt", "%s%d"},
      {"noise", noise}, {"sub/y.txt", "y"}, {longest, "long"}};
  for (std::size_t i = 0; i < files.size(); ++i) {
    WriteFile(files[i].first, files[i].second);
    SetModTime(files[i].first, kTime + 1000 * i);
  }

  for (const int format : {3, 4}) {
    SCOPED_TRACE(format);
    // The line shows the name as the pattern gave it; the bare name is
    // what is stored.
    const std::string command = "c" + std::to_string(format);
    EXPECT_EQ(
        Qev({command, "arc", "bin", "empty", "100%.txt", "noise", "sub/*.txt", longest, "bin"}).out,
        "command: " + command +
            " , file: arc\nbin ...OK\nempty ...OK\n100%.txt ...OK\nnoise ...OK\nsub/y.txt ...OK\n" +
            longest + " ...OK\nbin ...OK\ntotal: 7 files\n");
    const std::string listing = Qev({"l", "arc", "noise", "Y.TXT"}).out;
    EXPECT_NE(listing.find("    4,000,000  noise\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("            1  y.txt\ntotal: 2 files   4,000,001 Bytes\n"),
              std::string::npos)
        << listing;

    for (const auto& file : files) fs::remove(file.first);
    EXPECT_EQ(Qev({"x", "arc"}).out,
              OpenLines("x", "arc", format, 7) +
                  "bin ...OK\nempty ...OK\n100%.txt ...OK\nnoise ...OK\ny.txt ...OK\n" + longest +
                  " ...OK\nbin ...OK\ntotal: 7 files   4,002,057 Bytes\n");
    for (std::size_t i = 0; i < files.size(); ++i) {
      const std::string name = fs::path(files[i].first).filename().string();
      EXPECT_EQ(ReadFile(name), files[i].second) << name;
      if (format == 3) {
        EXPECT_EQ(ModTime(name), kTime + 1000 * i) << name;
      }
      fs::rename(name, files[i].first);
    }
  }
}

TEST_F(Create, StopsAndLeavesNoArchiveWhenAnInputCannotBeStored) {
  for (const char* name : {"a.txt", "b.txt", "z.txt"}) WriteFile(name, name);
  WriteFile("m.qev", "an older archive");
  // The pattern matches the archive itself, which is open for writing.
  EXPECT_EQ(LastLineAfterOks(Qev({"c4", "m.qev", "*"}).out), "m.qev ...cannot open");
  EXPECT_FALSE(Exists("m.qev"));

  // What the 32-bit formats cannot describe is refused before it is read.
  WriteFile("big", "");
  fs::resize_file("big", 1ull << 32);
  EXPECT_EQ(Qev({"c3", "m.qev", "a.txt", "big"}).out,
            "command: c3 , file: m.qev\na.txt ...OK\nbig ...too large\n");
  fs::resize_file("big", 4000000000);  // its stream would pass 4 GiB
  EXPECT_EQ(Qev({"c4", "m.qev", "big"}).out, "command: c4 , file: m.qev\nbig ...too large\n");
  EXPECT_FALSE(Exists("m.qev"));

  // An archive path that cannot be replaced: nothing is done at all.
  WriteFile("ro.qev", "read only");
  SetReadOnly("ro.qev", true);
  EXPECT_EQ(Qev({"c3", "ro.qev", "a.txt"}).out, "command: c3 , file: ro.qev\n");
  EXPECT_EQ(ReadFile("ro.qev"), "read only");
}

TEST_F(Create, StopsWhenMemoryRunsOut) {
  if (!MemoryLimitApplies()) GTEST_SKIP() << "no address-space limit reaches this build";
  WriteFile("small", "s");
  WriteFile("hole", "");
  fs::resize_file("hole", 200u << 20);
  EXPECT_EQ(QevLimited("-v 131072", {"c3", "out", "small", "hole"}),
            "command: c3 , file: out\nsmall ...OK\nhole ...too large\n");
  EXPECT_FALSE(Exists("out"));
}

TEST_F(Create, StopsWhenTheDiskRunsOut) {
  WriteFile("small", "s");
  // The limit is 32 KiB: the member's stream would be about 1.1 MiB.
  WriteFile("huge", std::string(1 << 20, 'h'));
  EXPECT_EQ(QevLimited("-f 64", {"c4", "out", "small", "huge"}),
            "command: c4 , file: out\nsmall ...OK\nhuge ...write error\n");
  EXPECT_FALSE(Exists("out"));

  // Members that fit, and a table of long names that does not.
  MakeDir("many");
  fs::current_path("many");
  for (int i = 100; i < 300; ++i) WriteFile(std::to_string(i) + std::string(200, 'n'), "");
  EXPECT_EQ(LastLineAfterOks(QevLimited("-f 64", {"c4", "../out", "*"})), "write error");
  fs::current_path("..");
  EXPECT_FALSE(Exists("out"));
}

}  // namespace
}  // namespace qev::e2e
