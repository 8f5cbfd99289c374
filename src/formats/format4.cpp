#include "formats/format4.h"

#include <algorithm>
#include <cstring>

#include "coding/lzss.h"
#include "io/file_handle.h"

namespace qev {
namespace {

// The fewest bytes an entry can take in the plain table: an empty name's
// NUL and three 32-bit numbers.
constexpr std::uint64_t kMinEntryBytes = 1 + 12;

// An LZSS stream of n bytes decodes to at most 8n bytes and a few more: a
// full token never yields more bytes than it has bits, and a token cut off
// by the end of the stream yields at most 18.
std::uint64_t MaxDecodedLength(std::uint64_t streamLength) { return streamLength * 8 + 18; }

// The most entries a file of fileSize bytes could hold if all of it were
// table stream. A short table still reads (its missing fields as zeros),
// but a count beyond this bound cannot come from any archive of this size,
// and refusing it keeps the entry vector in proportion to the file.
std::uint64_t MaxEntriesIn(std::uint32_t fileSize) {
  return MaxDecodedLength(fileSize) / kMinEntryBytes;
}

std::uint32_t LoadLe32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

void StoreLe32(std::uint32_t value, std::uint8_t* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Takes bytes from the decoded table and never reads past it: beyond its
// end every byte is 0.
class TableCursor {
 public:
  explicit TableCursor(const ByteBuffer& table) : table_(table) {}
  bool AtEnd() const { return position_ >= table_.size(); }
  std::uint8_t Next() {
    const std::uint8_t byte = AtEnd() ? 0 : table_[position_];
    ++position_;
    return byte;
  }
  std::uint32_t NextLe32() {
    std::uint8_t bytes[4];
    for (std::uint8_t& b : bytes) b = Next();
    return LoadLe32(bytes);
  }

 private:
  const ByteBuffer& table_;
  std::size_t position_ = 0;
};

void ReadEntry(TableCursor& cursor, Format4Entry& entry) {
  bool terminated = false;
  for (char& c : entry.name) {
    c = static_cast<char>(cursor.Next());
    if (c == '\0') {
      terminated = true;
      break;
    }
  }
  // 256 name bytes without a terminator: the numbers follow them, but the
  // name is cut to 255 bytes so that it is a string.
  if (!terminated) entry.name[sizeof entry.name - 1] = '\0';
  entry.offset = cursor.NextLe32();
  entry.size = cursor.NextLe32();
  entry.reserved = cursor.NextLe32();
}

std::size_t NameLength(const Format4Entry& entry) {
  const void* nul = std::memchr(entry.name, '\0', sizeof entry.name - 1);
  return nul != nullptr ? static_cast<const char*>(nul) - entry.name : sizeof entry.name - 1;
}

}  // namespace

bool ReadFormat4Index(const std::string& path, std::vector<Format4Entry>& entries,
                      Format4Header* header) {
  std::vector<Format4Entry>().swap(entries);
  FileHandle file;
  if (!file.OpenRead(path)) return false;

  // A file shorter than the header leaves the missing bytes zero.
  std::uint8_t head[kFormat4HeaderSize] = {};
  file.ReadAt(0, kFormat4HeaderSize, head);
  const Format4Header found{LoadLe32(head), LoadLe32(head + 4), LoadLe32(head + 8),
                            LoadLe32(head + 12)};
  if (found.magic != kFormat4Magic) return false;

  const std::uint32_t fileSize = file.GetSize();
  if (found.tableOffset > fileSize || found.count > MaxEntriesIn(fileSize)) return false;

  const std::uint32_t streamLength = fileSize - found.tableOffset;
  ByteBuffer stream(streamLength);
  if (streamLength > 0) {
    // A short read leaves the stream shorter; the decoder reads what it
    // lacks as zero bits.
    stream.resize(file.ReadAt(found.tableOffset, streamLength, stream.data()));
  }
  file.Close();

  ByteBuffer table;
  // tableSize only sizes the reservation, so it is held to what the stream
  // could decode to.
  table.reserve(static_cast<std::size_t>(
      std::min<std::uint64_t>(found.tableSize, MaxDecodedLength(stream.size()))));
  LzssDecode(stream, table);
  ByteBuffer().swap(stream);

  entries.resize(found.count);
  TableCursor cursor(table);
  // Past the end of the table every entry reads as the zero entry that
  // resize() already holds.
  for (std::size_t i = 0; i < entries.size() && !cursor.AtEnd(); ++i) {
    ReadEntry(cursor, entries[i]);
  }

  if (header != nullptr) *header = found;
  return true;
}

void BuildFormat4Table(const std::vector<Format4Entry>& entries, ByteBuffer& table) {
  std::size_t length = 0;
  for (const Format4Entry& entry : entries) length += NameLength(entry) + 1 + 12;
  table.resize(length);
  std::uint8_t* out = table.data();
  for (const Format4Entry& entry : entries) {
    // A name is at most 255 bytes; a field without a terminator is cut
    // there, as the reader would cut it.
    const std::size_t nameLength = NameLength(entry);
    std::memcpy(out, entry.name, nameLength);
    out[nameLength] = 0;
    out += nameLength + 1;
    StoreLe32(entry.offset, out);
    StoreLe32(entry.size, out + 4);
    StoreLe32(entry.reserved, out + 8);
    out += 12;
  }
}

}  // namespace qev
