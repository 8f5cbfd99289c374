// The archive layer in memory (lying headers and extents: e2e l, x).
#include "formats/archive.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/archive_bytes.h"

namespace qev {
namespace {

IndexStatus Read(const std::string& bytes, ArchiveIndex& index,
                 const ArchiveFormat** format = nullptr) {
  const ArchiveFormat* found = nullptr;
  MemorySource source(bytes.data(), bytes.size());
  return ReadArchiveIndex(source, format != nullptr ? format : &found, index);
}

// An entry as the tests' own reader gives a member, its stream aside.
test::Member AsMember(const NamePool& names, const Entry& e) {
  const std::uint64_t time =
      std::uint64_t{e.writeTime.dwHighDateTime} << 32 | e.writeTime.dwLowDateTime;
  const std::string name(names.View(e.nameOffset, e.nameLength));
  return {name, "", e.size, time, e.checksum, e.offset, e.reserved};
}

// A small archive read and encoded back, and read at every cut.
TEST(Archive, ReadsAndEncodesASmallArchiveAndReadsEveryCut) {
  for (const int number : {3, 4}) {
    SCOPED_TRACE(number);
    const std::string whole =
        test::Archive(number, {test::Stored("a.txt", "hello", 0x01D0'0000'1234'5678),
                               test::Stored("", ""),
                               test::Stored(std::string(255, 'n'), "x"),
                               {"ref", "\x30\x80\x40\x00\x00", 4, 7, 99}});  // '0', a reference
    const test::Parsed expected = test::Parse(whole);
    ArchiveIndex full;
    const ArchiveFormat* format = nullptr;
    ASSERT_EQ(Read(whole, full, &format), IndexStatus::kRead);
    ASSERT_EQ(format, FormatForDigit(static_cast<char>('0' + number)));
    ASSERT_EQ(full.entries.size(), expected.members.size());
    EXPECT_EQ(full.archiveSize, whole.size());
    EXPECT_EQ(full.tableOffset, expected.tableOffset);
    for (std::size_t i = 0; i < full.entries.size(); ++i) {
      const MemberExtent extent = FindMemberExtent(full, i);
      test::Member got = AsMember(full.names, full.entries[i]);
      got.stream = whole.substr(extent.start, extent.length);
      EXPECT_EQ(got, expected.members[i]) << i;
    }
    ByteBuffer table, header;
    format->encode(full.entries, full.names, full.tableOffset, false, table, header);
    EXPECT_EQ(std::string(header.begin(), header.end()) +
                  whole.substr(format->headerSize, full.tableOffset - format->headerSize) +
                  std::string(table.begin(), table.end()),
              whole);

    std::size_t entriesBefore = 0;
    for (std::size_t cut = 0; cut < whole.size(); ++cut) {
      SCOPED_TRACE(cut);
      ArchiveIndex index;
      const IndexStatus status = Read(whole.substr(0, cut), index);
      if (cut < 4) {
        EXPECT_EQ(status, IndexStatus::kNotArchive);
      } else if (cut >= format->headerSize && cut < full.tableOffset) {
        EXPECT_EQ(status, IndexStatus::kDamaged);
      }
      if (status != IndexStatus::kRead) {
        EXPECT_TRUE(index.entries.empty());
        continue;
      }
      if (cut < format->headerSize) continue;  // a header read partly as zeros
      ASSERT_EQ(index.entries.size(), full.entries.size());
      // The cut moves on through the table, never back.
      std::size_t complete = 0;
      while (complete < full.entries.size() && AsMember(index.names, index.entries[complete]) ==
                                                   AsMember(full.names, full.entries[complete])) {
        ++complete;
      }
      for (std::size_t i = complete + 1; i < full.entries.size(); ++i)
        EXPECT_EQ(AsMember(index.names, index.entries[i]), AsMember(NamePool(), Entry())) << i;
      EXPECT_GE(complete, entriesBefore);
      entriesBefore = complete;
    }
  }
}

// encode lays down what readIndex reads back, for random entries.
TEST(Archive, EncodedTablesAndHeadersReadBack) {
  std::mt19937 engine(2612);
  const auto rng = [&] { return static_cast<std::uint32_t>(engine()); };
  for (const ArchiveFormat* format : ArchiveFormats()) {
    SCOPED_TRACE(format->name);
    ByteBuffer table, header;
    for (int round = 0; round < 20; ++round) {
      std::vector<Entry> entries(rng() % 40);
      NamePool names;
      for (Entry& entry : entries) {
        std::string name(rng() % 256, 'x');
        for (char& c : name) c = static_cast<char>(1 + rng() % 255);
        entry.offset = rng(), entry.size = rng(), entry.checksum = rng(), entry.reserved = rng();
        entry.writeTime = {rng(), rng()};
        entry.nameOffset = names.Add(name),
        entry.nameLength = static_cast<std::uint8_t>(name.size());
      }
      const std::uint32_t tableOffset = format->headerSize + rng() % 1000;
      format->encode(entries, names, tableOffset, round % 2 == 1, table, header);
      ASSERT_EQ(header.size(), format->headerSize);
      std::string bytes(header.begin(), header.end());
      bytes.resize(tableOffset);
      bytes.append(table.begin(), table.end());
      ArchiveIndex back;
      ASSERT_EQ(Read(bytes, back), IndexStatus::kRead);
      ASSERT_EQ(back.entries.size(), entries.size());
      EXPECT_EQ(back.tableOffset, tableOffset);
      for (std::size_t i = 0; i < entries.size(); ++i) {
        test::Member want = AsMember(names, entries[i]);
        if (!format->hasTimes) want.time = 0;
        (format->hasChecksums ? want.reserved : want.checksum) = 0;
        EXPECT_EQ(AsMember(back.names, back.entries[i]), want) << i;
      }
    }
  }
}

}  // namespace
}  // namespace qev
