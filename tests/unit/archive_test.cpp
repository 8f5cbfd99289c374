// The archive layer on bytes in memory: whole, cut and lying archives laid
// down by the tests' own encoders, and encoded tables and headers read back.
#include "formats/archive.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/archive_bytes.h"

namespace qev {
namespace {

IndexStatus Read(const std::string& bytes, ArchiveIndex& index,
                 const ArchiveFormat** format = nullptr) {
  const ArchiveFormat* found = nullptr;
  MemorySource source(bytes.data(), bytes.size());
  const IndexStatus status = ReadArchiveIndex(source, &found, index);
  if (format != nullptr) *format = found;
  return status;
}

std::vector<test::Member> SmallMembers() {
  return {test::Stored("a.txt", "hello", 0x01D0'0000'1234'5678),
          test::Stored("", ""),
          test::Stored(std::string(255, 'n'), "x"),
          {"ref", "\x30\x80\x40\x00\x00", 4, 7, 99}};  // a literal '0' and a reference
}

// An entry as the tests' own reader gives a member, its stream aside.
test::Member AsMember(const ArchiveIndex& index, const Entry& e) {
  const std::uint64_t time =
      std::uint64_t{e.writeTime.dwHighDateTime} << 32 | e.writeTime.dwLowDateTime;
  return {std::string(index.Name(e)), "", e.size, time, e.checksum, e.offset, e.reserved};
}

// The whole of a small archive, with its extents, as the tests' reader reads
// it, and encoded back to the same bytes; then every cut: too short for a
// magic, a table offset past the end, or an index whose complete entries
// are the whole archive's and whose missing ones read as zero entries.
TEST(Archive, ReadsAndEncodesASmallArchiveAndReadsEveryCut) {
  for (const int number : {3, 4}) {
    SCOPED_TRACE(number);
    const std::string whole = test::Archive(number, SmallMembers());
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
      test::Member got = AsMember(full, full.entries[i]);
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
      while (complete < full.entries.size() &&
             AsMember(index, index.entries[complete]) == AsMember(full, full.entries[complete])) {
        ++complete;
      }
      for (std::size_t i = complete + 1; i < full.entries.size(); ++i) {
        EXPECT_EQ(AsMember(index, index.entries[i]), AsMember(ArchiveIndex(), Entry())) << i;
      }
      EXPECT_GE(complete, entriesBefore);
      entriesBefore = complete;
    }
  }
}

// Headers and tables that lie: counts beyond what the file can hold and
// table offsets past its end are refused; offsets that run backwards or past
// the end give extents inside the archive.
TEST(Archive, RefusesOrClampsCountsAndOffsetsThatLie) {
  const std::string stream = test::LiteralStream("abc");
  for (const int number : {3, 4}) {
    SCOPED_TRACE(number);
    const std::uint32_t start = number == 3 ? 13 : 16;
    std::string whole = test::Archive(number, {{"a", stream, 3, 0, test::kAuto, start + 5},
                                               {"b", stream, 3, 0, test::kAuto, start},
                                               {"c", stream, 3, 0, test::kAuto, 1u << 30}});
    ArchiveIndex index;
    ASSERT_EQ(Read(whole, index), IndexStatus::kRead);
    EXPECT_EQ(FindMemberExtent(index, 0).length, whole.size() - (start + 5));  // backwards
    EXPECT_EQ(FindMemberExtent(index, 1).length, whole.size() - start);        // past the end
    EXPECT_EQ(FindMemberExtent(index, 2).length, 0u);                          // wholly past

    const std::uint32_t tableOffset = index.tableOffset;
    const auto header = [&](std::uint32_t count, std::uint32_t offset) {
      return number == 3 ? test::Header3(count, offset) : test::Header4(count, offset, 3);
    };
    for (const auto& [count, offset, status] :
         std::vector<std::tuple<std::uint32_t, std::uint32_t, IndexStatus>>{
             {0xFFFFFFFF, tableOffset, IndexStatus::kDamaged},
             {3, static_cast<std::uint32_t>(whole.size() + 1), IndexStatus::kDamaged},
             {3, static_cast<std::uint32_t>(whole.size()), IndexStatus::kRead},
             {6, tableOffset, IndexStatus::kRead}}) {
      SCOPED_TRACE(count);
      std::string lying = header(count, offset) + whole.substr(start);
      ArchiveIndex read;
      EXPECT_EQ(Read(lying, read), status);
      if (status == IndexStatus::kRead) {
        EXPECT_EQ(read.entries.size(), count);
        // Past the table, entries read as zero entries.
        EXPECT_EQ(read.entries.back().offset, 0u);
        EXPECT_EQ(read.Name(read.entries.back()), "");
      }
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
        entry = {rng(),
                 rng(),
                 {rng(), rng()},
                 rng(),
                 rng(),
                 names.Add(name),
                 static_cast<std::uint8_t>(name.size())};
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
        const Entry& a = entries[i];
        const Entry& b = back.entries[i];
        EXPECT_EQ(back.Name(b), names.View(a.nameOffset, a.nameLength));
        EXPECT_EQ(b.offset, a.offset);
        EXPECT_EQ(b.size, a.size);
        EXPECT_EQ(b.checksum, format->hasChecksums ? a.checksum : 0);
        EXPECT_EQ(b.writeTime.dwHighDateTime, format->hasTimes ? a.writeTime.dwHighDateTime : 0);
        EXPECT_EQ(b.reserved, format->hasChecksums ? 0 : a.reserved);
      }
    }
  }
}

}  // namespace
}  // namespace qev
