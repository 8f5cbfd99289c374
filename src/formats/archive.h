// What every archive format offers the operations above it: recognising an
// archive by its first bytes, reading its index, and encoding the table and
// header for a list of entries. The operations hold an ArchiveFormat and
// ask it; they never ask which format it is. A format is one pair of files
// in this folder and one line in the list of formats (archive.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/byte_source.h"
#include "name_pool.h"
#include "types.h"

namespace qev {

// One member as an archive's table gives it, in any format. Fields that a
// format does not keep are zero when read and not written.
struct Entry {
  std::uint32_t offset = 0;      // where its stream starts in the archive
  std::uint32_t size = 0;        // the length it decodes to
  FILETIME writeTime;            // formats with times
  std::uint32_t checksum = 0;    // formats with checksums: the stream's byte sum
  std::uint32_t reserved = 0;    // a field some formats keep without meaning
  std::uint32_t nameOffset = 0;  // in the index's name pool
  std::uint8_t nameLength = 0;   // at most 255
};

// An archive's index in memory: its entries in table order, their names in
// one pool, and what the header says of the table.
struct ArchiveIndex {
  std::vector<Entry> entries;
  NamePool names;
  std::uint32_t tableOffset = 0;
  std::uint32_t archiveSize = 0;  // the archive's size when the index was read

  std::string_view Name(const Entry& entry) const {
    return names.View(entry.nameOffset, entry.nameLength);
  }
};

// The numbers a header holds besides its magic.
struct ArchiveHeader {
  std::uint32_t count = 0;
  std::uint32_t tableOffset = 0;
};

struct ArchiveFormat {
  // What the open line calls the archive: its magic, "QEV3".
  const char* name;
  // The digit of the command words that create the format: '3' for c3, z3.
  char digit;
  // The first four bytes of an archive, little-endian.
  std::uint32_t magic;
  // The header area: where the first member stream starts.
  std::uint32_t headerSize;
  bool hasTimes;      // entries keep the member file's time
  bool hasChecksums;  // entries keep the stream's byte sum

  // Reads the index of an archive whose magic is this format's. False for
  // an index that no archive of this size can hold: the index is then
  // empty. May throw std::bad_alloc.
  bool (*readIndex)(ByteSource& source, ArchiveIndex& index);
  // The header's numbers from the headerSize bytes at head, read where this
  // format keeps them, whatever the magic says.
  ArchiveHeader (*readHeader)(const std::uint8_t* head);
  // Reads the leading entries of a table stored from tableOffset up to
  // tableEnd, as far as they are whole, at most maxEntries, into index
  // (emptied first; its tableOffset and archiveSize are left alone). An
  // entry that the end of the stored bytes cuts is left out, and so is any
  // entry decoded from bits that are not there. True when the table ended
  // with its last entry: maxEntries were read, or nothing of the table is
  // left over. May throw std::bad_alloc.
  bool (*readTable)(ByteSource& source, std::uint32_t tableOffset, std::uint32_t tableEnd,
                    std::uint64_t maxEntries, ArchiveIndex& index);
  // The most bits one entry with a name of nameLength bytes adds to the
  // stored table, the end of the table's stream aside.
  std::uint64_t (*entryTableBits)(std::size_t nameLength);
  // Fills table with the stored table for entries (names in names), and
  // header with the headerSize bytes that go at offset 0, for a table at
  // tableOffset. With compress, a table kept as a member stream uses
  // back-references wherever they make it shorter.
  void (*encode)(const std::vector<Entry>& entries, const NamePool& names,
                 std::uint32_t tableOffset, bool compress, ByteBuffer& table, ByteBuffer& header);
};

// Every format qev knows, in the order they are tried.
std::span<const ArchiveFormat* const> ArchiveFormats();

// The format whose magic the first bytes show (size may be short), or null.
const ArchiveFormat* RecogniseArchive(const std::uint8_t* head, std::size_t size);

// The format that c<digit> and z<digit> create, or null.
const ArchiveFormat* FormatForDigit(char digit);

// The bytes of the header area that count for telling formats apart.
inline constexpr std::size_t kMaxHeaderSize = 16;

// The format that a header area of zeros points to, or null when no
// format's header area is zero in the size bytes at head. An archive whose
// creation stopped has no magic: its header area is still the zeros
// written first. Where several formats' header areas are zero, the widest
// one: its first stream would lie wholly after them, and the first stream
// of a narrower format seldom starts with the zero bits that fill the gap
// (an empty member followed by a stream starting with a zero byte, for
// format 3). Where only a narrower one's is, the wider one is ruled out.
const ArchiveFormat* FormatOfBlankHeader(const std::uint8_t* head, std::size_t size);

enum class IndexStatus {
  kRead,        // *format and index describe the archive
  kNotArchive,  // no format's magic
  kDamaged,     // the format's magic, but an index no archive of this size holds
};

// Recognises the archive in source and reads its index. An index too large
// for memory counts as damaged.
IndexStatus ReadArchiveIndex(ByteSource& source, const ArchiveFormat** format, ArchiveIndex& index);

// Where a member's stored stream lies. No stored length exists: entry i's
// stream runs from its offset to entry i+1's offset, the last one's to the
// table offset.
struct MemberExtent {
  std::uint32_t start = 0;
  std::uint32_t length = 0;  // never runs past the end of the archive
};

// The extent from start to end, cut to what an archive of archiveSize
// bytes holds. An end before start (a damaged index) runs to the end of the
// archive; a start at or past the end gives length 0.
MemberExtent ClampExtent(std::uint32_t start, std::uint32_t end, std::uint32_t archiveSize);

// Entry i's extent by the rule above.
MemberExtent FindMemberExtent(const ArchiveIndex& index, std::size_t i);

}  // namespace qev
