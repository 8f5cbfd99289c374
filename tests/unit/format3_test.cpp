#include "formats/format3.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

const ByteBuffer kMagic = Hex("51 45 56 33");

// The 38-byte archive of one member named a, holding "hello world".
const ByteBuffer kHelloArchive = Concat({kMagic, Hex("00 41 C0 00 00 00 00 00 00"),
                                         Hex("B4 59 6D 96 CB 7C 82 EF 6F B9 5B 2C 80 00 00"),
                                         Hex("19 0C 84 1B DC 0D 02 D8 40 00")});

Format3Entry MakeEntry(const std::string& name, std::uint32_t offset, std::uint32_t size) {
  Format3Entry entry;
  std::memcpy(entry.name, name.data(), name.size());
  entry.offset = offset;
  entry.size = size;
  return entry;
}

ByteBuffer EncodeTable(const std::vector<Format3Entry>& entries) {
  ByteBuffer out;
  BitWriter writer;
  writer.Reset(out);
  EncodeFormat3Table(entries, writer);
  return out;
}

ByteBuffer EncodeHeader(std::uint32_t count, std::uint32_t tableOffset) {
  ByteBuffer out;
  BitWriter writer;
  writer.Reset(out);
  EncodeFormat3Header(count, tableOffset, writer);
  return out;
}

void ExpectSameEntry(const Format3Entry& a, const Format3Entry& b) {
  EXPECT_EQ(a.writeTime.dwLowDateTime, b.writeTime.dwLowDateTime);
  EXPECT_EQ(a.writeTime.dwHighDateTime, b.writeTime.dwHighDateTime);
  EXPECT_EQ(a.checksum, b.checksum);
  EXPECT_EQ(a.offset, b.offset);
  EXPECT_EQ(a.size, b.size);
  EXPECT_STREQ(a.name, b.name);
}

class Format3Read : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("qev_f3_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
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
    header_ = {7, 7, 7};
    return ReadFormat3Index(Write(bytes), entries_, &header_);
  }

  void ExpectRefused(const ByteBuffer& bytes) {
    EXPECT_FALSE(Read(bytes));
    EXPECT_TRUE(entries_.empty());
    EXPECT_EQ(header_.magic, 7u);
    EXPECT_EQ(header_.count, 7u);
    EXPECT_EQ(header_.tableOffset, 7u);
  }

  fs::path dir_;
  std::vector<Format3Entry> entries_;
  Format3Header header_;
};

TEST(Format3Encode, HeaderBytesForEachPackedClass) {
  EXPECT_EQ(EncodeHeader(1, 15), Concat({kMagic, Hex("00 40 F0")}));
  EXPECT_EQ(EncodeHeader(0, 13), Concat({kMagic, Hex("00 00 D0")}));
  EXPECT_EQ(EncodeHeader(255, 65535), Concat({kMagic, Hex("3F DF FF F0")}));
  EXPECT_EQ(EncodeHeader(0xFFFFFFFF, 0xFFFFFFFF),
            Concat({kMagic, Hex("FF FF FF FF FF FF FF FF F0")}));
}

TEST(Format3Encode, TableEntriesFollowEachOtherUnaligned) {
  EXPECT_EQ(EncodeTable({MakeEntry("a", 13, 0)}), Hex("00 00 00 00 0D 00 18 40 00"));
  Format3Entry hello = MakeEntry("a", 13, 11);
  hello.writeTime = {200, 100};
  hello.checksum = 1783;
  EXPECT_EQ(EncodeTable({hello}), Hex("19 0C 84 1B DC 0D 02 D8 40 00"));
  EXPECT_TRUE(EncodeTable({}).empty());
}

TEST(Format3Encode, UnterminatedNameFieldIsWrittenAs255Bytes) {
  Format3Entry entry;
  std::memset(entry.name, 'x', sizeof entry.name);
  const ByteBuffer table = EncodeTable({entry});
  // Five zero numbers of 10 bits, 255 name bytes and the NUL.
  EXPECT_EQ(table.size(), (50 + 256 * 8 + 7) / 8u);
}

TEST_F(Format3Read, ArchivesWrittenByTheEncodersReadBack) {
  Format3Entry hello = MakeEntry("a", 13, 11);
  hello.writeTime = {200, 100};
  hello.checksum = 1783;
  ByteBuffer built = EncodeHeader(1, 28);
  built.resize(kFormat3HeaderArea);
  built =
      Concat({built, Hex("B4 59 6D 96 CB 7C 82 EF 6F B9 5B 2C 80 00 00"), EncodeTable({hello})});
  EXPECT_EQ(built, kHelloArchive);

  ASSERT_TRUE(Read(kHelloArchive));
  EXPECT_EQ(header_.magic, kFormat3Magic);
  EXPECT_EQ(header_.count, 1u);
  EXPECT_EQ(header_.tableOffset, 28u);
  ASSERT_EQ(entries_.size(), 1u);
  ExpectSameEntry(entries_[0], hello);

  const ByteBuffer emptyMember = Concat(
      {kMagic, Hex("00 40 F0 00 00 00 00 00 00 00 00"), EncodeTable({MakeEntry("a", 13, 0)})});
  ASSERT_EQ(emptyMember.size(), 24u);
  ASSERT_TRUE(Read(emptyMember));
  EXPECT_EQ(header_.tableOffset, 15u);
  ASSERT_EQ(entries_.size(), 1u);
  ExpectSameEntry(entries_[0], MakeEntry("a", 13, 0));
}

TEST_F(Format3Read, ArchivesWithoutEntries) {
  ASSERT_TRUE(Read(Concat({kMagic, Hex("00 00 D0 00 00 00 00 00 00")})));
  EXPECT_EQ(header_.count, 0u);
  EXPECT_EQ(header_.tableOffset, 13u);
  EXPECT_TRUE(entries_.empty());

  // The missing header bytes read as zero.
  ASSERT_TRUE(Read(kMagic));
  EXPECT_EQ(header_.count, 0u);
  EXPECT_EQ(header_.tableOffset, 0u);
  EXPECT_TRUE(entries_.empty());
}

TEST_F(Format3Read, OtherFilesAreRefusedAndLeaveTheHeaderAlone) {
  ExpectRefused({});
  ExpectRefused(Hex("51 45 56"));
  ExpectRefused(ByteBuffer(13, 0));
  ExpectRefused(Hex("51 45 56 34 00 00 00 00 10 00 00 00 00 00 00 00 00 00"));

  entries_ = {MakeEntry("stale", 1, 1)};
  EXPECT_FALSE(ReadFormat3Index((dir_ / "missing").string(), entries_, &header_));
  EXPECT_TRUE(entries_.empty());
  EXPECT_FALSE(ReadFormat3Index((dir_ / "missing").string(), entries_, nullptr));
}

TEST_F(Format3Read, TruncatedTableReadsItsMissingBitsAsZero) {
  ASSERT_TRUE(Read(ByteBuffer(kHelloArchive.begin(), kHelloArchive.end() - 1)));
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(entries_[0].size, 11u);
  EXPECT_STREQ(entries_[0].name, "a");

  ASSERT_TRUE(Read(ByteBuffer(kHelloArchive.begin(), kHelloArchive.begin() + 35)));
  ASSERT_EQ(entries_.size(), 1u);
  EXPECT_EQ(entries_[0].offset, 13u);
  EXPECT_EQ(entries_[0].size, 8u);
  EXPECT_STREQ(entries_[0].name, "");

  ASSERT_TRUE(Read(ByteBuffer(kHelloArchive.begin(), kHelloArchive.begin() + 28)));
  ASSERT_EQ(entries_.size(), 1u);
  ExpectSameEntry(entries_[0], Format3Entry{});
}

TEST_F(Format3Read, WiderPackedClassesReadTheSameValues) {
  ByteBuffer table;
  BitWriter writer;
  writer.Reset(table);
  // Every number in class 3, the size 5 last.
  for (const std::uint32_t value : {1u, 2u, 3u, 13u, 5u}) {
    writer.WriteBits(2, 3);
    writer.WriteBits(32, value);
  }
  writer.WriteBits(8, 'a');
  writer.WriteBits(8, 0);
  ASSERT_TRUE(Read(Concat({EncodeHeader(1, 13), Hex("00 00 00 00 00 00"), table})));
  ASSERT_EQ(entries_.size(), 1u);
  Format3Entry expected = MakeEntry("a", 13, 5);
  expected.writeTime = {2, 1};
  expected.checksum = 3;
  ExpectSameEntry(entries_[0], expected);
}

TEST_F(Format3Read, LongAndRepeatedNamesKeepTheirPlace) {
  const std::vector<Format3Entry> written = {MakeEntry(std::string(255, 'n'), 13, 1),
                                             MakeEntry("dup", 16, 2), MakeEntry("dup", 20, 3)};
  ByteBuffer archive = EncodeHeader(3, 24);
  archive.resize(24);
  ASSERT_TRUE(Read(Concat({archive, EncodeTable(written)})));
  ASSERT_EQ(entries_.size(), 3u);
  for (int i = 0; i < 3; ++i) ExpectSameEntry(entries_[i], written[i]);
}

TEST_F(Format3Read, UnterminatedStoredNameIsCutButTheNextEntryFollowsIt) {
  ByteBuffer table;
  BitWriter writer;
  writer.Reset(table);
  for (int i = 0; i < 5; ++i) WritePackedInt(writer, 0);
  for (int i = 0; i < 256; ++i) writer.WriteBits(8, 'x');
  EncodeFormat3Table({MakeEntry("b", 99, 7)}, writer);
  ASSERT_TRUE(Read(Concat({EncodeHeader(2, 13), Hex("00 00 00 00 00 00"), table})));
  ASSERT_EQ(entries_.size(), 2u);
  EXPECT_EQ(std::string(entries_[0].name), std::string(255, 'x'));
  ExpectSameEntry(entries_[1], MakeEntry("b", 99, 7));
}

TEST_F(Format3Read, ImpossibleTableOffsetOrCountIsRefused) {
  ExpectRefused(Concat({EncodeHeader(0, 14), Hex("00 00 00 00 00 00")}));
  ExpectRefused(Concat({EncodeHeader(0, 0xFFFFFFFF), ByteBuffer(4, 0)}));
  // Four billion entries claimed by a 4 KiB file: no allocation for them.
  ByteBuffer huge = EncodeHeader(0xFFFFFFFF, 13);
  huge.resize(4096);
  ExpectRefused(huge);
}

}  // namespace
}  // namespace qev
