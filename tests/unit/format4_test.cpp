#include "formats/format4.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "coding/lzss.h"
#include "scratch_dir.h"

namespace qev {
namespace {

std::string Hex(const std::string& text) {
  std::string bytes;
  std::istringstream in(text);
  for (unsigned value = 0; in >> std::hex >> value;) bytes += static_cast<char>(value);
  return bytes;
}

std::string Le32(std::uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

std::string Header(std::uint32_t count, std::uint32_t tableOffset, std::uint32_t tableSize) {
  return "QEV4" + Le32(count) + Le32(tableOffset) + Le32(tableSize);
}

std::string Store(const std::string& plain) {
  ByteBuffer stream;
  LzssStore(ByteBuffer(plain.begin(), plain.end()), stream);
  return {stream.begin(), stream.end()};
}

Format4Entry Entry(const std::string& name, std::uint32_t offset, std::uint32_t size,
                   std::uint32_t reserved = 0) {
  Format4Entry entry;
  std::memcpy(entry.name, name.data(), name.size());
  entry.offset = offset;
  entry.size = size;
  entry.reserved = reserved;
  return entry;
}

std::string Table(const std::vector<Format4Entry>& entries) {
  ByteBuffer table = {0xEE};  // stale content must go
  BuildFormat4Table(entries, table);
  return {table.begin(), table.end()};
}

// An archive as creation lays it down, with two filler bytes of members.
std::string Archive(const std::vector<Format4Entry>& entries) {
  const std::string table = Table(entries);
  return Header(entries.size(), 18, table.size()) + Hex("00 00") + Store(table);
}

class Format4Read : public testing::ScratchDirTest {
 protected:
  // Reads content as an archive, over stale entries and a sentinel header.
  bool Read(const std::string& content) {
    WriteFile("archive", content);
    entries_ = {Entry("stale", 1, 1)};
    header_ = {7, 7, 7, 7};
    return ReadFormat4Index("archive", entries_, &header_);
  }
  void ExpectEntries(const std::vector<Format4Entry>& expected) {
    ASSERT_EQ(entries_.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_STREQ(entries_[i].name, expected[i].name);
      EXPECT_EQ(entries_[i].offset, expected[i].offset);
      EXPECT_EQ(entries_[i].size, expected[i].size);
      EXPECT_EQ(entries_[i].reserved, expected[i].reserved);
    }
  }

  std::vector<Format4Entry> entries_;
  Format4Header header_;
};

TEST(Format4Build, LaysNamesAndNumbersBackToBack) {
  EXPECT_EQ(Table({Entry("abc.txt", 16, 3)}),
            Hex("61 62 63 2E 74 78 74 00 10 00 00 00 03 00 00 00 00 00 00 00"));
  EXPECT_EQ(Table({Entry("", 0x04030201, 0x08070605, 0x0C0B0A09)}),
            Hex("00 01 02 03 04 05 06 07 08 09 0A 0B 0C"));
  EXPECT_EQ(Table({}), "");
  // A name field without a terminator goes out as 255 bytes and a NUL.
  Format4Entry unterminated;
  std::memset(unterminated.name, 'x', sizeof unterminated.name);
  EXPECT_EQ(Table({unterminated}), std::string(255, 'x') + std::string(13, '\0'));
}

TEST_F(Format4Read, ArchivesFromTheLayout) {
  ASSERT_TRUE(Read(Header(0, 16, 0) + Hex("00 00")));
  EXPECT_EQ(header_.magic, kFormat4Magic);
  EXPECT_EQ(header_.tableOffset, 16u);
  ExpectEntries({});

  const std::string oneEmptyFile = Header(1, 18, 14) + Hex("00 00") +
                                   Hex("B0 C0 22 10 08 04 02 01 00 80 40 20 10 08 04 00 00 00");
  ASSERT_EQ(oneEmptyFile, Archive({Entry("a", 16, 0)}));
  ASSERT_TRUE(Read(oneEmptyFile));
  EXPECT_EQ(header_.count, 1u);
  EXPECT_EQ(header_.tableOffset, 18u);
  EXPECT_EQ(header_.tableSize, 14u);
  ExpectEntries({Entry("a", 16, 0)});

  // The same table as literals 61 00 10, then eleven zeros copied from an
  // unwritten part of the window.
  ASSERT_TRUE(Read(Header(1, 18, 14) + Hex("00 00 B0 C0 22 00 32 40 00 00")));
  ExpectEntries({Entry("a", 16, 0)});

  const std::vector<Format4Entry> several = {Entry(std::string(255, 'n'), 16, 1, 9),
                                             Entry("dup", 17, 2), Entry("dup", 18, 3)};
  ASSERT_TRUE(Read(Archive(several)));
  ExpectEntries(several);
  // A table longer than count needs is ignored past the last entry, and a
  // wrong tableSize changes nothing.
  ASSERT_TRUE(Read(Header(2, 16, 0) + Store(Table(several))));
  ExpectEntries({several[0], several[1]});
}

TEST_F(Format4Read, OtherAndImpossibleFilesAreRefusedWithoutTrace) {
  std::string huge = Header(0xFFFFFFFF, 16, 0);  // four billion entries in 4 KiB
  huge.resize(4096);
  for (const std::string& content :
       {std::string(), std::string("QEV"), std::string(16, '\0'),
        "QEV3" + Hex("00 00 D0 00 00 00 00 00 00"), Header(0, 19, 0) + Hex("00 00"),
        Header(0, 0xFFFFFFFF, 0), huge}) {
    EXPECT_FALSE(Read(content)) << content.size();
    EXPECT_TRUE(entries_.empty());
    EXPECT_TRUE(header_.magic == 7 && header_.count == 7 && header_.tableOffset == 7 &&
                header_.tableSize == 7);
  }
  entries_ = {Entry("stale", 1, 1)};
  EXPECT_FALSE(ReadFormat4Index("missing", entries_, nullptr));
  EXPECT_TRUE(entries_.empty());
}

TEST_F(Format4Read, ShortTableReadsNoFurtherAndMissingBytesAreZero) {
  const std::string plain = Table({Entry("a", 0x11223344, 0x55667788, 1), Entry("b", 2, 3)});
  // Cut inside the second entry's offset: its two low bytes remain.
  ASSERT_TRUE(Read(Header(3, 16, 40) + Store(plain.substr(0, 18))));
  ExpectEntries({Entry("a", 0x11223344, 0x55667788, 1), Entry("b", 2, 0), Format4Entry{}});
  // Cut inside a name: the name ends where the table ends.
  ASSERT_TRUE(Read(Header(2, 16, 40) + Store(plain.substr(0, 15))));
  ExpectEntries({Entry("a", 0x11223344, 0x55667788, 1), Entry("b", 0, 0)});
}

TEST_F(Format4Read, UnterminatedNameIsCutAndTheNumbersFollowIt) {
  const std::string plain =
      std::string(256, 'x') + Le32(40) + Le32(41) + Le32(42) + Table({Entry("b", 5, 6)});
  ASSERT_TRUE(Read(Header(2, 16, plain.size()) + Store(plain)));
  ExpectEntries({Entry(std::string(255, 'x'), 40, 41, 42), Entry("b", 5, 6)});
}

}  // namespace
}  // namespace qev
