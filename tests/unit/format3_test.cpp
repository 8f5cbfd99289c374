#include "formats/format3.h"

#include <cstring>

#include "support.h"

namespace qev {
namespace {

using testing::Hex;
using Lines = std::vector<std::string>;

// The table of entries after what prefix writes, or without entries the
// header in its zero-filled 13-byte area.
std::string Encode(const std::vector<Format3Entry>& entries, const NamePool& names,
                   std::uint32_t count = 0, std::uint32_t tableOffset = 0,
                   void (*prefix)(BitWriter&) = nullptr) {
  ByteBuffer out;
  BitWriter writer;
  writer.Reset(out);
  if (prefix != nullptr) prefix(writer);
  EncodeFormat3Table(entries, names, writer);
  if (entries.empty()) {
    EncodeFormat3Header(count, tableOffset, writer);
    out.resize(kFormat3HeaderArea);
  }
  return {out.begin(), out.end()};
}

// The 38-byte archive of one member a holding "hello world", stamped with
// low half 200 and high half 100.
const std::string kHello = "QEV3" + Hex("00 41 C0 00 00 00 00 00 00") +
                           Hex("B4 59 6D 96 CB 7C 82 EF 6F B9 5B 2C 80 00 00") +
                           Hex("19 0C 84 1B DC 0D 02 D8 40 00");

class Format3Read : public testing::ScratchDirTest {
 protected:
  // Reads content as an archive, over a stale entry and a sentinel header,
  // and gives one line per entry: "high.low checksum offset size name".
  Lines Read(const std::string& content, bool expected = true) {
    WriteFile("archive", content);
    index_.entries.resize(1);
    header_ = {7, 7, 7};
    EXPECT_EQ(ReadFormat3Index("archive", index_, &header_), expected) << content.size();
    Lines lines;
    for (const Format3Entry& e : index_.entries) {
      lines.push_back(std::to_string(e.writeTime.dwHighDateTime) + "." +
                      std::to_string(e.writeTime.dwLowDateTime) + " " + std::to_string(e.checksum) +
                      " " + std::to_string(e.offset) + " " + std::to_string(e.size) + " " +
                      std::string(index_.Name(e)));
    }
    return lines;
  }

  Format3Index index_;
  Format3Header header_;
};

TEST_F(Format3Read, WholeAndTruncatedArchives) {
  EXPECT_EQ(Read(kHello), Lines{"100.200 1783 13 11 a"});
  EXPECT_TRUE(header_.magic == kFormat3Magic && header_.count == 1 && header_.tableOffset == 28);
  EXPECT_EQ(Read(kHello.substr(0, 37)), Lines{"100.200 1783 13 11 a"});
  // The two missing low bits of the size read as 0, and so does the name.
  EXPECT_EQ(Read(kHello.substr(0, 35)), Lines{"100.200 1783 13 8 "});
  EXPECT_EQ(Read(kHello.substr(0, 28)), Lines{"0.0 0 0 0 "});
  EXPECT_EQ(Read(Encode({}, {}, 0, 13)), Lines{});
  EXPECT_TRUE(header_.count == 0 && header_.tableOffset == 13);
  EXPECT_EQ(Read("QEV3"), Lines{});
  EXPECT_TRUE(header_.count == 0 && header_.tableOffset == 0);
}

TEST_F(Format3Read, OtherAndImpossibleFilesAreRefusedWithoutTrace) {
  std::string huge = Encode({}, {}, 0xFFFFFFFF, 13);  // four billion entries in 4 KiB
  huge.resize(4096);
  for (const std::string& content : {std::string(), std::string("QEV"), std::string(13, '\0'),
                                     "QEV4" + Hex("00 00 00 00 10 00 00 00 00 00 00 00 00 00"),
                                     Encode({}, {}, 0, 14), Encode({}, {}, 0, 0xFFFFFFFF), huge}) {
    EXPECT_EQ(Read(content, false), Lines{});
    EXPECT_TRUE(header_.magic == 7 && header_.count == 7 && header_.tableOffset == 7);
  }
  EXPECT_FALSE(ReadFormat3Index("missing", index_, nullptr));
}

TEST_F(Format3Read, WideClassesAndUnterminatedNames) {
  Format3Entry next;
  next.offset = 20;
  NamePool names;
  next.nameOffset = names.Add("b");
  next.nameLength = 1;
  const std::string table = Encode({next}, names, 0, 0, [](BitWriter& writer) {
    for (const std::uint32_t value : {1u, 2u, 3u, 13u, 5u}) {  // class 11 where 00 would do
      writer.WriteBits(2, 3);
      writer.WriteBits(32, value);
    }
    // No NUL in 256 name bytes: the name is cut, the next entry follows.
    for (int i = 0; i < 256; ++i) writer.WriteBits(8, 'x');
  });
  EXPECT_EQ(Read(Encode({}, {}, 2, 13) + table),
            (Lines{"1.2 3 13 5 " + std::string(255, 'x'), "0.0 0 20 0 b"}));
}

}  // namespace
}  // namespace qev
