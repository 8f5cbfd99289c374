#include "formats/format3.h"

#include <algorithm>

#include "coding/bit_stream.h"

namespace qev {
namespace {

constexpr std::uint32_t kMagic = 0x33564551;  // "QEV3"
constexpr std::uint32_t kHeaderArea = 13;

// The fewest bits an entry can take in the table: five packed integers of
// the narrowest class and an empty name.
constexpr std::uint64_t kMinEntryBits = 5 * 10 + 8;

// The most entries a file of fileSize bytes could hold if all of it were
// table. A truncated table still reads (its missing entries as zeros), but
// a count beyond this bound cannot come from any archive of this size, and
// refusing it keeps the entry vector in proportion to the file.
std::uint64_t MaxEntriesIn(std::uint32_t fileSize) {
  return std::uint64_t{fileSize} * 8 / kMinEntryBits;
}

void ReadEntry(BitReader& reader, Entry& entry, NamePool& names) {
  entry.writeTime.dwHighDateTime = ReadPackedInt(reader);
  entry.writeTime.dwLowDateTime = ReadPackedInt(reader);
  entry.checksum = ReadPackedInt(reader);
  entry.offset = ReadPackedInt(reader);
  entry.size = ReadPackedInt(reader);
  char name[256];
  std::size_t length = 0;
  while (length < sizeof name && (name[length] = static_cast<char>(reader.ReadBits(8))) != '\0') {
    ++length;
  }
  // 256 bytes without a terminator: the next entry follows them, but the
  // name is cut to 255 bytes.
  length = std::min(length, sizeof name - 1);
  entry.nameOffset = names.Add({name, length});
  entry.nameLength = static_cast<std::uint8_t>(length);
}

bool ReadIndex(ByteSource& source, ArchiveIndex& index) {
  // A file shorter than the header area leaves the missing bytes zero.
  ByteBuffer buffer(kHeaderArea);
  source.ReadAt(0, kHeaderArea, buffer.data());
  BitReader reader;
  reader.Reset(buffer);
  std::uint32_t magic = 0;
  for (int i = 0; i < 4; ++i) magic |= reader.ReadBits(8) << (8 * i);
  if (magic != kMagic) return false;
  const std::uint32_t count = ReadPackedInt(reader);
  const std::uint32_t tableOffset = ReadPackedInt(reader);

  const std::uint32_t fileSize = source.Size();
  if (tableOffset > fileSize || count > MaxEntriesIn(fileSize)) return false;

  const std::uint32_t tableLength = fileSize - tableOffset;
  buffer.assign(tableLength, 0);
  if (tableLength > 0) {
    // A short read leaves the table shorter; what it lacks reads as zero bits.
    buffer.resize(source.ReadAt(tableOffset, tableLength, buffer.data()));
  }

  index.entries.resize(count);
  // The names are bytes of the table, each with its NUL.
  index.names.Reserve(buffer.size());
  reader.Reset(buffer);
  // Every entry takes at least kMinEntryBits, so after this many the reader
  // is past the end of the table, where every bit is 0 and every further
  // entry reads as the zero entry that resize() already holds.
  const std::uint64_t parsed = std::min<std::uint64_t>(
      count, (std::uint64_t{buffer.size()} * 8 + kMinEntryBits - 1) / kMinEntryBits);
  for (std::uint64_t i = 0; i < parsed; ++i) ReadEntry(reader, index.entries[i], index.names);
  index.tableOffset = tableOffset;
  index.archiveSize = fileSize;
  return true;
}

ArchiveHeader ReadHeader(const std::uint8_t* head) {
  const ByteBuffer area(head, head + kHeaderArea);
  BitReader reader;
  reader.Reset(area);
  reader.ReadBits(32);
  ArchiveHeader header;
  header.count = ReadPackedInt(reader);
  header.tableOffset = ReadPackedInt(reader);
  return header;
}

// The n bits (up to 8) from bit `at` of table, zeros past its end.
std::uint32_t BitsAt(const ByteBuffer& table, std::uint64_t at, int n) {
  std::uint32_t value = 0;
  for (int i = 0; i < n; ++i, ++at) {
    const bool bit = at / 8 < table.size() && (table[at / 8] >> (7 - at % 8) & 1) != 0;
    value = value << 1 | (bit ? 1u : 0u);
  }
  return value;
}

// Where the entry that starts at bit `at` ends, from the classes of its
// packed numbers and the bytes of its name, read as ReadEntry reads them.
std::uint64_t EntryEnd(const ByteBuffer& table, std::uint64_t at) {
  for (int i = 0; i < 5; ++i) at += 2 + 8 * std::uint64_t{BitsAt(table, at, 2)} + 8;
  for (int i = 0; i < 256; ++i) {
    const std::uint32_t c = BitsAt(table, at, 8);
    at += 8;
    if (c == 0) break;
  }
  return at;
}

bool ReadTable(ByteSource& source, std::uint32_t tableOffset, std::uint32_t tableEnd,
               std::uint64_t maxEntries, ArchiveIndex& index) {
  index.entries.clear();
  index.names = NamePool();
  ByteBuffer table(tableEnd > tableOffset ? tableEnd - tableOffset : 0);
  if (!table.empty())
    table.resize(
        source.ReadAt(tableOffset, static_cast<std::uint32_t>(table.size()), table.data()));
  const std::uint64_t bits = std::uint64_t{table.size()} * 8;
  BitReader reader;
  reader.Reset(table);
  std::uint64_t at = 0;
  while (index.entries.size() < maxEntries) {
    // Fewer bits than a byte are the last byte's padding.
    if (bits - at < 8) return true;
    const std::uint64_t next = EntryEnd(table, at);
    if (next > bits) return false;
    index.entries.emplace_back();
    ReadEntry(reader, index.entries.back(), index.names);
    at = next;
  }
  return true;
}

// Five numbers of up to 34 bits and the name's bytes with its NUL.
std::uint64_t EntryTableBits(std::size_t nameLength) {
  return 5 * 34 + 8 * (static_cast<std::uint64_t>(nameLength) + 1);
}

void Encode(const std::vector<Entry>& entries, const NamePool& names, std::uint32_t tableOffset,
            bool /*compress*/, ByteBuffer& table, ByteBuffer& header) {
  BitWriter writer;
  writer.Reset(table);
  for (const Entry& entry : entries) {
    WritePackedInt(writer, entry.writeTime.dwHighDateTime);
    WritePackedInt(writer, entry.writeTime.dwLowDateTime);
    WritePackedInt(writer, entry.checksum);
    WritePackedInt(writer, entry.offset);
    WritePackedInt(writer, entry.size);
    for (const char c : names.View(entry.nameOffset, entry.nameLength)) {
      writer.WriteBits(8, static_cast<std::uint8_t>(c));
    }
    writer.WriteBits(8, 0);
  }
  writer.Reset(header);
  for (int i = 0; i < 4; ++i) writer.WriteBits(8, kMagic >> (8 * i));
  WritePackedInt(writer, static_cast<std::uint32_t>(entries.size()));
  WritePackedInt(writer, tableOffset);
  // The packed numbers take 7 to 13 bytes; the rest of the area stays zero.
  header.resize(kHeaderArea);
}

}  // namespace

const ArchiveFormat kFormat3 = {"QEV3",    '3',        kMagic,    kHeaderArea,    true,  true,
                                ReadIndex, ReadHeader, ReadTable, EntryTableBits, Encode};

}  // namespace qev
