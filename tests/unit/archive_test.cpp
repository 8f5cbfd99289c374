// The archive layer on bytes in memory: index reading of whole, cut and
// lying archives laid down by the tests' own encoders, and table and
// header encoding read back.
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

void ExpectSameEntry(const ArchiveFormat& format, const ArchiveIndex& index, const Entry& entry,
                     const test::Member& member, std::uint32_t offset) {
  EXPECT_EQ(index.Name(entry), member.name);
  EXPECT_EQ(entry.offset, offset);
  EXPECT_EQ(entry.size, member.size);
  if (format.hasTimes) {
    EXPECT_EQ(entry.writeTime.dwLowDateTime, static_cast<std::uint32_t>(member.time));
    EXPECT_EQ(entry.writeTime.dwHighDateTime, static_cast<std::uint32_t>(member.time >> 32));
  }
  if (format.hasChecksums && member.checksum != test::kAuto) {
    EXPECT_EQ(entry.checksum, member.checksum);
  }
}

bool SameEntry(const ArchiveIndex& a, const Entry& x, const ArchiveIndex& b, const Entry& y) {
  return a.Name(x) == b.Name(y) && x.offset == y.offset && x.size == y.size &&
         x.checksum == y.checksum && x.writeTime.dwLowDateTime == y.writeTime.dwLowDateTime &&
         x.writeTime.dwHighDateTime == y.writeTime.dwHighDateTime && x.reserved == y.reserved;
}

// Every cut of a small archive: too short for a magic, a table offset past
// the end, or an index whose complete entries are the whole archive's and
// whose missing ones read as zero entries; never more entries than counted.
TEST(Archive, ReadsWholeAndEveryCutOfASmallArchive) {
  for (const int number : {3, 4}) {
    SCOPED_TRACE(number);
    const std::vector<test::Member> members = SmallMembers();
    const std::string whole = test::Archive(number, members);
    ArchiveIndex full;
    const ArchiveFormat* format = nullptr;
    ASSERT_EQ(Read(whole, full, &format), IndexStatus::kRead);
    ASSERT_EQ(format, FormatForDigit(static_cast<char>('0' + number)));
    ASSERT_EQ(full.entries.size(), members.size());
    EXPECT_EQ(full.archiveSize, whole.size());
    std::uint32_t offset = format->headerSize;
    for (std::size_t i = 0; i < members.size(); ++i) {
      ExpectSameEntry(*format, full, full.entries[i], members[i], offset);
      const MemberExtent extent = FindMemberExtent(full, i);
      EXPECT_EQ(extent.start, offset);
      EXPECT_EQ(extent.length, members[i].stream.size());
      offset += static_cast<std::uint32_t>(members[i].stream.size());
    }
    EXPECT_EQ(full.tableOffset, offset);

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
      ASSERT_EQ(index.entries.size(), members.size());
      // The entries before the cut one are the whole archive's, those after
      // it zero entries; the cut moves on through the table, never back.
      std::size_t complete = 0;
      while (complete < members.size() &&
             SameEntry(index, index.entries[complete], full, full.entries[complete])) {
        ++complete;
      }
      for (std::size_t i = complete + 1; i < members.size(); ++i) {
        EXPECT_TRUE(SameEntry(index, index.entries[i], ArchiveIndex(), Entry())) << i;
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

// encode lays down what readIndex reads back, for random entries, and for
// the entries of an archive the bytes that the tests' own encoders lay down.
TEST(Archive, EncodedTablesAndHeadersReadBack) {
  std::mt19937 engine(2612);
  const auto rng = [&] { return static_cast<std::uint32_t>(engine()); };
  for (const ArchiveFormat* format : ArchiveFormats()) {
    SCOPED_TRACE(format->name);
    ArchiveIndex source;
    const std::vector<test::Member> members = SmallMembers();
    const std::string whole = test::Archive(format->digit - '0', members);
    ASSERT_EQ(Read(whole, source), IndexStatus::kRead);
    ByteBuffer table;
    ByteBuffer header;
    format->encode(source.entries, source.names, source.tableOffset, false, table, header);
    EXPECT_EQ(std::string(header.begin(), header.end()) +
                  whole.substr(format->headerSize, source.tableOffset - format->headerSize) +
                  std::string(table.begin(), table.end()),
              whole);

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
