#include "formats/format3.h"

#include <algorithm>

#include "io/file_handle.h"

namespace qev {
namespace {

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

void ReadEntry(BitReader& reader, Format3Entry& entry, NamePool& names) {
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

}  // namespace

bool ReadFormat3Index(const std::string& path, Format3Index& index, Format3Header* header) {
  index = Format3Index();
  FileHandle file;
  if (!file.OpenRead(path)) return false;

  // A file shorter than the header area leaves the missing bytes zero.
  ByteBuffer buffer(kFormat3HeaderArea);
  file.ReadAt(0, kFormat3HeaderArea, buffer.data());
  BitReader reader;
  reader.Reset(buffer);
  std::uint32_t magic = 0;
  for (int i = 0; i < 4; ++i) magic |= reader.ReadBits(8) << (8 * i);
  if (magic != kFormat3Magic) return false;
  const std::uint32_t count = ReadPackedInt(reader);
  const std::uint32_t tableOffset = ReadPackedInt(reader);

  const std::uint32_t fileSize = file.GetSize();
  if (tableOffset > fileSize || count > MaxEntriesIn(fileSize)) return false;

  const std::uint32_t tableLength = fileSize - tableOffset;
  buffer.assign(tableLength, 0);
  if (tableLength > 0) {
    // A short read leaves the table shorter; what it lacks reads as zero bits.
    buffer.resize(file.ReadAt(tableOffset, tableLength, buffer.data()));
  }
  file.Close();

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

  if (header != nullptr) *header = {magic, count, tableOffset};
  return true;
}

void EncodeFormat3Table(const std::vector<Format3Entry>& entries, const NamePool& names,
                        BitWriter& writer) {
  for (const Format3Entry& entry : entries) {
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
}

void EncodeFormat3Header(std::uint32_t count, std::uint32_t tableOffset, BitWriter& writer) {
  for (int i = 0; i < 4; ++i) writer.WriteBits(8, kFormat3Magic >> (8 * i));
  WritePackedInt(writer, count);
  WritePackedInt(writer, tableOffset);
}

}  // namespace qev
