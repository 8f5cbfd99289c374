#include "formats/format4.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "coding/lzss.h"

namespace qev {
namespace {

namespace fs = std::filesystem;

ByteBuffer Hex(const std::string& text) {
  ByteBuffer bytes;
  std::istringstream in(text);
  unsigned value = 0;
  while (in >> std::hex >> value) bytes.push_back(static_cast<std::uint8_t>(value));
  return bytes;
}

ByteBuffer Concat(std::initializer_list<ByteBuffer> parts) {
  ByteBuffer all;
  for (const ByteBuffer& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

ByteBuffer Le32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

ByteBuffer Header(std::uint32_t count, std::uint32_t tableOffset, std::uint32_t tableSize) {
  return Concat({Hex("51 45 56 34"), Le32(count), Le32(tableOffset), Le32(tableSize)});
}

ByteBuffer Store(const ByteBuffer& plain) {
  ByteBuffer stream;
  LzssStore(plain, stream);
  return stream;
}

Format4Entry MakeEntry(const std::string& name, std::uint32_t offset, std::uint32_t size,
                       std::uint32_t reserved = 0) {
  Format4Entry entry;
  std::memcpy(entry.name, name.data(), name.size());
  entry.offset = offset;
  entry.size = size;
  entry.reserved = reserved;
  return entry;
}

ByteBuffer Table(const std::vector<Format4Entry>& entries) {
  ByteBuffer table = {0xEE};  // stale content must go
  BuildFormat4Table(entries, table);
  return table;
}

// An archive whose member streams are opaque filler and whose table is
// stored by LzssStore, as creation lays it down.
ByteBuffer Archive(const std::vector<Format4Entry>& entries, std::uint32_t members = 2) {
  const ByteBuffer table = Table(entries);
  return Concat(
      {Header(entries.size(), 16 + members, table.size()), ByteBuffer(members, 0), Store(table)});
}

void ExpectSameEntry(const Format4Entry& a, const Format4Entry& b) {
  EXPECT_STREQ(a.name, b.name);
  EXPECT_EQ(a.offset, b.offset);
  EXPECT_EQ(a.size, b.size);
  EXPECT_EQ(a.reserved, b.reserved);
}

class Format4Read : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("qev_f4_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Write(const ByteBuffer& bytes) {
    const std::string path = (dir_ / "archive").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }

  // Reads bytes as an archive; a header sentinel shows whether it was set.
  bool Read(const ByteBuffer& bytes) {
    entries_ = {MakeEntry("stale", 1, 1)};
    header_ = {7, 7, 7, 7};
    return ReadFormat4Index(Write(bytes), entries_, &header_);
  }

  void ExpectRefused(const ByteBuffer& bytes) {
    EXPECT_FALSE(Read(bytes));
    EXPECT_TRUE(entries_.empty());
    EXPECT_EQ(header_.magic, 7u);
    EXPECT_EQ(header_.count, 7u);
    EXPECT_EQ(header_.tableOffset, 7u);
    EXPECT_EQ(header_.tableSize, 7u);
  }

  void ExpectEntries(const std::vector<Format4Entry>& expected) {
    ASSERT_EQ(entries_.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) ExpectSameEntry(entries_[i], expected[i]);
  }

  fs::path dir_;
  std::vector<Format4Entry> entries_;
  Format4Header header_;
};

TEST(Format4Build, LaysNamesAndNumbersBackToBack) {
  EXPECT_EQ(Table({MakeEntry("abc.txt", 16, 3)}),
            Hex("61 62 63 2E 74 78 74 00 10 00 00 00 03 00 00 00 00 00 00 00"));
  EXPECT_EQ(Table({MakeEntry("a", 0x04030201, 0x08070605, 0x0C0B0A09), MakeEntry("", 1, 2, 3)}),
            Hex("61 00 01 02 03 04 05 06 07 08 09 0A 0B 0C"
                " 00 01 00 00 00 02 00 00 00 03 00 00 00"));
  EXPECT_TRUE(Table({}).empty());

  Format4Entry unterminated;
  std::memset(unterminated.name, 'x', sizeof unterminated.name);
  EXPECT_EQ(Table({unterminated}).size(), 255u + 1 + 12);
}

TEST_F(Format4Read, SmallestArchivesFromTheLayout) {
  ASSERT_TRUE(Read(Concat({Header(0, 16, 0), Hex("00 00")})));
  EXPECT_EQ(header_.magic, kFormat4Magic);
  EXPECT_EQ(header_.count, 0u);
  EXPECT_EQ(header_.tableOffset, 16u);
  EXPECT_EQ(header_.tableSize, 0u);
  EXPECT_TRUE(entries_.empty());

  const ByteBuffer oneEmptyFile =
      Concat({Header(1, 18, 14), Hex("00 00"),
              Hex("B0 C0 22 10 08 04 02 01 00 80 40 20 10 08 04 00 00 00")});
  ASSERT_EQ(oneEmptyFile, Archive({MakeEntry("a", 16, 0)}));
  ASSERT_TRUE(Read(oneEmptyFile));
  EXPECT_EQ(header_.count, 1u);
  EXPECT_EQ(header_.tableOffset, 18u);
  EXPECT_EQ(header_.tableSize, 14u);
  ExpectEntries({MakeEntry("a", 16, 0)});

  // The same table as literals 61 00 10, then eleven zeros copied from an
  // unwritten part of the window.
  ASSERT_TRUE(Read(Concat({Header(1, 18, 14), Hex("00 00"), Hex("B0 C0 22 00 32 40 00 00")})));
  ExpectEntries({MakeEntry("a", 16, 0)});
}

TEST_F(Format4Read, OtherFilesAreRefusedAndLeaveTheHeaderAlone) {
  ExpectRefused({});
  ExpectRefused(Hex("51 45 56"));
  ExpectRefused(ByteBuffer(16, 0));
  ExpectRefused(Hex("51 45 56 33 00 00 D0 00 00 00 00 00 00"));

  entries_ = {MakeEntry("stale", 1, 1)};
  EXPECT_FALSE(ReadFormat4Index((dir_ / "missing").string(), entries_, &header_));
  EXPECT_TRUE(entries_.empty());
  EXPECT_FALSE(ReadFormat4Index((dir_ / "missing").string(), entries_, nullptr));
}

TEST_F(Format4Read, TableSizeOnlySizesTheReservation) {
  const std::vector<Format4Entry> written = {MakeEntry("one", 16, 5, 9), MakeEntry("two", 17, 6)};
  const ByteBuffer stream = Store(Table(written));
  for (const std::uint32_t tableSize : {0u, 3u, 0xFFFFFFFFu}) {
    ASSERT_TRUE(Read(Concat({Header(2, 18, tableSize), Hex("00 00"), stream}))) << tableSize;
    EXPECT_EQ(header_.tableSize, tableSize);
    ExpectEntries(written);
  }
}

TEST_F(Format4Read, LongAndRepeatedNamesKeepTheirPlace) {
  const std::vector<Format4Entry> written = {MakeEntry(std::string(255, 'n'), 16, 1),
                                             MakeEntry("dup", 17, 2), MakeEntry("dup", 18, 3)};
  ASSERT_TRUE(Read(Archive(written, 3)));
  ExpectEntries(written);
  // A longer table than count needs: the rest is ignored.
  ByteBuffer extra = Archive(written, 3);
  extra[4] = 2;
  ASSERT_TRUE(Read(extra));
  ExpectEntries({written[0], written[1]});
}

TEST_F(Format4Read, ShortTableReadsNoFurtherAndMissingFieldsAreZero) {
  ByteBuffer plain = Table({MakeEntry("a", 0x11223344, 0x55667788, 1), MakeEntry("b", 2, 3)});
  // Cut inside the second entry's offset: its two low bytes remain.
  plain.resize(14 + 2 + 2);
  const ByteBuffer archive = Concat({Header(3, 16, 40), Store(plain)});
  ASSERT_TRUE(Read(archive));
  ExpectEntries({MakeEntry("a", 0x11223344, 0x55667788, 1), MakeEntry("b", 2, 0), Format4Entry{}});
  // Cut inside a name: it ends where the table ends.
  plain.resize(15);
  ASSERT_TRUE(Read(Concat({Header(2, 16, 40), Store(plain)})));
  ExpectEntries({MakeEntry("a", 0x11223344, 0x55667788, 1), MakeEntry("b", 0, 0)});
}

TEST_F(Format4Read, UnterminatedStoredNameIsCutAndTheNumbersFollowIt) {
  ByteBuffer plain(256, 'x');
  plain = Concat({plain, Le32(40), Le32(41), Le32(42), Table({MakeEntry("b", 5, 6)})});
  ASSERT_TRUE(Read(Concat({Header(2, 16, plain.size()), Store(plain)})));
  ExpectEntries({MakeEntry(std::string(255, 'x'), 40, 41, 42), MakeEntry("b", 5, 6)});
}

TEST_F(Format4Read, ImpossibleTableOffsetOrCountIsRefused) {
  ExpectRefused(Concat({Header(0, 19, 0), Hex("00 00")}));
  ExpectRefused(Header(0, 0xFFFFFFFF, 0));
  // Four billion entries claimed by a 4 KiB file: no allocation for them.
  ByteBuffer huge = Header(0xFFFFFFFF, 16, 0);
  huge.resize(4096);
  ExpectRefused(huge);
}

}  // namespace
}  // namespace qev
