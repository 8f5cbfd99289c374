#include "formats/format4.h"

#include <cstring>

#include "coding/lzss.h"
#include "support.h"

namespace qev {
namespace {

using testing::Hex;
using Lines = std::vector<std::string>;

std::string Le32(std::uint32_t v) { return {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}; }

std::string Header(std::uint32_t count, std::uint32_t tableOffset, std::uint32_t tableSize) {
  return "QEV4" + Le32(count) + Le32(tableOffset) + Le32(tableSize);
}

std::string Store(const std::string& plain) {
  ByteBuffer stream;
  LzssStore(ByteBuffer(plain.begin(), plain.end()), stream);
  return {stream.begin(), stream.end()};
}

std::string Plain(const std::string& name, std::uint32_t offset, std::uint32_t size,
                  std::uint32_t reserved = 0) {
  return name + '\0' + Le32(offset) + Le32(size) + Le32(reserved);
}

class Format4Read : public testing::ScratchDirTest {
 protected:
  // Reads content as an archive, over a stale entry and a sentinel header,
  // and gives one line per entry: "name offset size reserved".
  Lines Read(const std::string& content, bool expected = true) {
    WriteFile("archive", content);
    index_.entries.resize(1);
    header_ = {7, 7, 7, 7};
    EXPECT_EQ(ReadFormat4Index("archive", index_, &header_), expected) << content.size();
    Lines lines;
    for (const Format4Entry& e : index_.entries) {
      lines.push_back(std::string(index_.Name(e)) + " " + std::to_string(e.offset) + " " +
                      std::to_string(e.size) + " " + std::to_string(e.reserved));
    }
    return lines;
  }

  Format4Index index_;
  Format4Header header_;
};

TEST_F(Format4Read, ArchivesFromTheLayout) {
  EXPECT_EQ(Read(Header(1, 18, 14) + Hex("00 00") +
                 Hex("B0 C0 22 10 08 04 02 01 00 80 40 20 10 08 04 00 00 00")),
            Lines{"a 16 0 0"});
  EXPECT_TRUE(header_.magic == kFormat4Magic && header_.count == 1 && header_.tableOffset == 18 &&
              header_.tableSize == 14);
  // The same table as literals 61 00 10, then eleven zeros copied from an
  // unwritten part of the window.
  EXPECT_EQ(Read(Header(1, 18, 14) + Hex("00 00 B0 C0 22 00 32 40 00 00")), Lines{"a 16 0 0"});
}

TEST_F(Format4Read, OtherAndImpossibleFilesAreRefusedWithoutTrace) {
  std::string huge = Header(0xFFFFFFFF, 16, 0);  // four billion entries in 4 KiB
  huge.resize(4096);
  for (const std::string& content :
       {std::string(), std::string("QEV"), std::string(16, '\0'),
        "QEV3" + Hex("00 00 D0 00 00 00 00 00 00"), Header(0, 19, 0) + Hex("00 00"),
        Header(0, 0xFFFFFFFF, 0), huge}) {
    EXPECT_EQ(Read(content, false), Lines{});
    EXPECT_TRUE(header_.magic == 7 && header_.count == 7 && header_.tableOffset == 7 &&
                header_.tableSize == 7);
  }
  EXPECT_FALSE(ReadFormat4Index("missing", index_, nullptr));
}

// The parse reads no further than the decoded table, whatever count and
// tableSize say; what it lacks reads as zero. tableSize only sizes a
// reservation, held to what the stored stream can decode to.
TEST_F(Format4Read, ShortLongAndUnterminatedTables) {
  const std::string plain = Plain("a", 0x11223344, 0x55667788, 1) + Plain("b", 2, 3);
  testing::largestAllocation = 0;
  EXPECT_EQ(Read(Header(1, 16, 0xFFFFFFFF) + Store(plain)), Lines{"a 287454020 1432778632 1"});
  EXPECT_LT(testing::largestAllocation, 1u << 20);
  // Cut inside the second entry's offset: its two low bytes remain, and
  // the third entry lies wholly past the table.
  EXPECT_EQ(Read(Header(3, 16, 40) + Store(plain.substr(0, 18))),
            (Lines{"a 287454020 1432778632 1", "b 2 0 0", " 0 0 0"}));
  // Cut inside a name: the name ends where the table ends.
  EXPECT_EQ(Read(Header(2, 16, 99) + Store(plain.substr(0, 15))),
            (Lines{"a 287454020 1432778632 1", "b 0 0 0"}));
  // No NUL in 256 name bytes: the name is cut, the numbers follow them.
  EXPECT_EQ(Read(Header(2, 16, 0) +
                 Store(std::string(256, 'x') + Le32(40) + Le32(41) + Le32(42) + Plain("b", 5, 6))),
            (Lines{std::string(255, 'x') + " 40 41 42", "b 5 6 0"}));
}

}  // namespace
}  // namespace qev
