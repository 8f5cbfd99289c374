#include "formats/format3.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "formats/extent.h"
#include "scratch_dir.h"

namespace qev {
namespace {

std::string Hex(const std::string& text) {
  std::string bytes;
  std::istringstream in(text);
  for (unsigned value = 0; in >> std::hex >> value;) bytes += static_cast<char>(value);
  return bytes;
}

std::string Bytes(const ByteBuffer& buffer) { return {buffer.begin(), buffer.end()}; }

// The 38-byte archive of one member named a holding "hello world".
const std::string kHello = "QEV3" + Hex("00 41 C0 00 00 00 00 00 00") +
                           Hex("B4 59 6D 96 CB 7C 82 EF 6F B9 5B 2C 80 00 00") +
                           Hex("19 0C 84 1B DC 0D 02 D8 40 00");

Format3Entry Entry(const std::string& name, std::uint32_t offset, std::uint32_t size,
                   FILETIME time = {}, std::uint32_t checksum = 0) {
  Format3Entry entry{time, checksum, offset, size};
  std::memcpy(entry.name, name.data(), name.size());
  return entry;
}

std::string Table(const std::vector<Format3Entry>& entries) {
  ByteBuffer out;
  BitWriter writer;
  writer.Reset(out);
  EncodeFormat3Table(entries, writer);
  return Bytes(out);
}

// The header in its zero-filled 13-byte area.
std::string Header(std::uint32_t count, std::uint32_t tableOffset, bool padded = true) {
  ByteBuffer out;
  BitWriter writer;
  writer.Reset(out);
  EncodeFormat3Header(count, tableOffset, writer);
  if (padded) out.resize(kFormat3HeaderArea);
  return Bytes(out);
}

void ExpectSame(const Format3Entry& got, const Format3Entry& expected) {
  EXPECT_EQ(got.writeTime.dwLowDateTime, expected.writeTime.dwLowDateTime);
  EXPECT_EQ(got.writeTime.dwHighDateTime, expected.writeTime.dwHighDateTime);
  EXPECT_EQ(got.checksum, expected.checksum);
  EXPECT_EQ(got.offset, expected.offset);
  EXPECT_EQ(got.size, expected.size);
  EXPECT_STREQ(got.name, expected.name);
}

class Format3Read : public testing::ScratchDirTest {
 protected:
  // Reads content as an archive, over stale entries and a sentinel header.
  bool Read(const std::string& content) {
    WriteFile("archive", content);
    entries_ = {Entry("stale", 1, 1)};
    header_ = {7, 7, 7};
    return ReadFormat3Index("archive", entries_, &header_);
  }
  void ExpectEntries(const std::vector<Format3Entry>& expected) {
    ASSERT_EQ(entries_.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) ExpectSame(entries_[i], expected[i]);
  }

  std::vector<Format3Entry> entries_;
  Format3Header header_;
};

const Format3Entry kHelloEntry = Entry("a", 13, 11, {200, 100}, 1783);

TEST(Format3Encode, HeaderAndTableBitStreams) {
  EXPECT_EQ(Header(1, 15, false), "QEV3" + Hex("00 40 F0"));
  EXPECT_EQ(Header(0, 13, false), "QEV3" + Hex("00 00 D0"));
  EXPECT_EQ(Header(255, 65535, false), "QEV3" + Hex("3F DF FF F0"));
  EXPECT_EQ(Header(0xFFFFFFFF, 0xFFFFFFFF, false), "QEV3" + Hex("FF FF FF FF FF FF FF FF F0"));

  EXPECT_EQ(Table({Entry("a", 13, 0)}), Hex("00 00 00 00 0D 00 18 40 00"));
  EXPECT_EQ(Header(1, 28) + kHello.substr(13, 15) + Table({kHelloEntry}), kHello);
  EXPECT_EQ(Table({}), "");
  // A name field without a terminator goes out as 255 bytes and a NUL.
  Format3Entry unterminated;
  std::memset(unterminated.name, 'x', sizeof unterminated.name);
  EXPECT_EQ(Table({unterminated}).size(), (50 + 256 * 8 + 7) / 8u);
}

TEST_F(Format3Read, WholeAndTruncatedArchives) {
  ASSERT_TRUE(Read(kHello));
  EXPECT_EQ(header_.magic, kFormat3Magic);
  EXPECT_EQ(header_.count, 1u);
  EXPECT_EQ(header_.tableOffset, 28u);
  ExpectEntries({kHelloEntry});

  ASSERT_TRUE(Read(kHello.substr(0, 37)));
  ExpectEntries({kHelloEntry});
  // The two missing low bits of the size read as 0, and so does the name.
  ASSERT_TRUE(Read(kHello.substr(0, 35)));
  ExpectEntries({Entry("", 13, 8, {200, 100}, 1783)});
  ASSERT_TRUE(Read(kHello.substr(0, 28)));
  ExpectEntries({Format3Entry{}});

  ASSERT_TRUE(Read(Header(0, 13)));
  EXPECT_EQ(header_.tableOffset, 13u);
  ExpectEntries({});
  ASSERT_TRUE(Read("QEV3"));
  EXPECT_EQ(header_.count, 0u);
  EXPECT_EQ(header_.tableOffset, 0u);
  ExpectEntries({});
}

TEST_F(Format3Read, OtherAndImpossibleFilesAreRefusedWithoutTrace) {
  std::string huge = Header(0xFFFFFFFF, 13);  // four billion entries in 4 KiB
  huge.resize(4096);
  for (const std::string& content : {std::string(), std::string("QEV"), std::string(13, '\0'),
                                     "QEV4" + Hex("00 00 00 00 10 00 00 00 00 00 00 00 00 00"),
                                     Header(0, 14), Header(0, 0xFFFFFFFF), huge}) {
    EXPECT_FALSE(Read(content)) << content.size();
    EXPECT_TRUE(entries_.empty());
    EXPECT_TRUE(header_.magic == 7 && header_.count == 7 && header_.tableOffset == 7);
  }
  entries_ = {Entry("stale", 1, 1)};
  EXPECT_FALSE(ReadFormat3Index("missing", entries_, nullptr));
  EXPECT_TRUE(entries_.empty());
}

TEST_F(Format3Read, WiderClassesLongNamesAndDuplicatesReadBack) {
  ByteBuffer table;
  BitWriter writer;
  writer.Reset(table);
  for (const std::uint32_t value : {1u, 2u, 3u, 13u, 5u}) {
    writer.WriteBits(2, 3);
    writer.WriteBits(32, value);
  }
  writer.WriteBits(16, 'a' << 8);
  const std::vector<Format3Entry> rest = {Entry(std::string(255, 'n'), 20, 1), Entry("dup", 30, 2),
                                          Entry("dup", 40, 3)};
  EncodeFormat3Table(rest, writer);
  ASSERT_TRUE(Read(Header(4, 13) + Bytes(table)));
  ExpectEntries({Entry("a", 13, 5, {2, 1}, 3), rest[0], rest[1], rest[2]});
}

TEST_F(Format3Read, UnterminatedNameIsCutAndTheNextEntryFollowsIt) {
  ByteBuffer table;
  BitWriter writer;
  writer.Reset(table);
  for (int i = 0; i < 5; ++i) WritePackedInt(writer, 0);
  for (int i = 0; i < 256; ++i) writer.WriteBits(8, 'x');
  EncodeFormat3Table({Entry("b", 99, 7)}, writer);
  ASSERT_TRUE(Read(Header(2, 13) + Bytes(table)));
  ExpectEntries({Entry(std::string(255, 'x'), 0, 0), Entry("b", 99, 7)});
}

struct OffsetOnly {
  std::uint32_t offset;
};

TEST(Extent, NextOffsetOrTableOffsetCutToTheArchive) {
  const auto extent = [](const std::vector<OffsetOnly>& entries, std::size_t i) {
    const MemberExtent got = FindMemberExtent(entries, i, 60, 70);
    return std::pair(got.start, got.length);
  };
  EXPECT_EQ(extent({{13}, {15}, {30}}, 0), std::pair(13u, 2u));
  EXPECT_EQ(extent({{13}, {15}, {30}}, 2), std::pair(30u, 30u));
  // A damaged index: an end before the start or past the archive runs to
  // the archive's end, never round to a length near 4 GiB.
  EXPECT_EQ(extent({{40}, {13}}, 0), std::pair(40u, 30u));
  EXPECT_EQ(extent({{40}, {99}}, 0), std::pair(40u, 30u));
  EXPECT_EQ(extent({{70}, {99}}, 0), std::pair(70u, 0u));
  EXPECT_EQ(extent({{0xFFFFFFFF}}, 0), std::pair(0xFFFFFFFFu, 0u));
}

}  // namespace
}  // namespace qev
