#include "formats/format3.h"

#include <algorithm>
#include <cstring>

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

void ReadEntry(BitReader& reader, Format3Entry& entry) {
  entry.writeTime.dwHighDateTime = ReadPackedInt(reader);
  entry.writeTime.dwLowDateTime = ReadPackedInt(reader);
  entry.checksum = ReadPackedInt(reader);
  entry.offset = ReadPackedInt(reader);
  entry.size = ReadPackedInt(reader);
  for (char& c : entry.name) {
    c = static_cast<char>(reader.ReadBits(8));
    if (c == '\0') return;
  }
  // The stream gave 256 bytes without a terminator; the next entry follows
  // them, but the name is cut to 255 bytes so that it is a string.
  entry.name[sizeof entry.name - 1] = '\0';
}

}  // namespace

bool ReadFormat3Index(const std::string& path, std::vector<Format3Entry>& entries,
                      Format3Header* header) {
  std::vector<Format3Entry>().swap(entries);
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

  entries.resize(count);
  reader.Reset(buffer);
  // Every entry takes at least kMinEntryBits, so after this many the reader
  // is past the end of the table, where every bit is 0 and every further
  // entry reads as the zero entry that resize() already holds.
  const std::uint64_t parsed = std::min<std::uint64_t>(
      count, (std::uint64_t{buffer.size()} * 8 + kMinEntryBits - 1) / kMinEntryBits);
  for (std::uint64_t i = 0; i < parsed; ++i) ReadEntry(reader, entries[i]);

  if (header != nullptr) *header = {magic, count, tableOffset};
  return true;
}

void EncodeFormat3Table(const std::vector<Format3Entry>& entries, BitWriter& writer) {
  for (const Format3Entry& entry : entries) {
    WritePackedInt(writer, entry.writeTime.dwHighDateTime);
    WritePackedInt(writer, entry.writeTime.dwLowDateTime);
    WritePackedInt(writer, entry.checksum);
    WritePackedInt(writer, entry.offset);
    WritePackedInt(writer, entry.size);
    // A name is at most 255 bytes; a field without a terminator is cut
    // there, as the reader would cut it.
    const void* nul = std::memchr(entry.name, '\0', sizeof entry.name - 1);
    const std::size_t length =
        nul != nullptr ? static_cast<const char*>(nul) - entry.name : sizeof entry.name - 1;
    for (std::size_t k = 0; k < length; ++k) {
      writer.WriteBits(8, static_cast<std::uint8_t>(entry.name[k]));
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
