#include "formats/format4.h"

#include <algorithm>
#include <cstring>

#include "coding/lzss.h"
#include "coding/lzss_compress.h"
#include "coding/lzss_stream.h"

namespace qev {
namespace {

constexpr std::uint32_t kMagic = 0x34564551;  // "QEV4"
constexpr std::uint32_t kHeaderSize = 16;

// The fewest bytes an entry can take in the plain table: an empty name's
// NUL and three 32-bit numbers.
constexpr std::uint64_t kMinEntryBytes = 1 + 12;

// The most entries a file of fileSize bytes could hold if all of it were
// table stream. A short table still reads (its missing fields as zeros),
// but a count beyond this bound cannot come from any archive of this size,
// and refusing it keeps the entry vector in proportion to the file.
std::uint64_t MaxEntriesIn(std::uint32_t fileSize) {
  return lzss::MaxDecodedLength(fileSize) / kMinEntryBytes;
}

std::uint32_t LoadLe32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

void StoreLe32(std::uint32_t value, std::uint8_t* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The little-endian number at position of the table; bytes past its end
// read as zero.
std::uint32_t LoadLe32Within(const ByteBuffer& table, std::size_t position) {
  std::uint8_t bytes[4] = {};
  for (std::size_t i = 0; i < 4 && position + i < table.size(); ++i) bytes[i] = table[position + i];
  return LoadLe32(bytes);
}

// Reads the entry at position of the decoded table and returns the position
// after it. The name stays where it is: the table becomes the index's name
// pool. A name ends at its NUL, at 256 bytes without one (cut to 255, the
// numbers follow the 256th), or at the end of the table, past which every
// byte reads as zero.
std::size_t ReadEntry(const ByteBuffer& table, std::size_t position, Entry& entry) {
  const std::size_t room = std::min<std::size_t>(256, table.size() - position);
  const auto* name = table.data() + position;
  const void* nul = std::memchr(name, 0, room);
  const std::size_t length = nul != nullptr ? static_cast<const std::uint8_t*>(nul) - name : room;
  entry.nameOffset = static_cast<std::uint32_t>(position);
  entry.nameLength = static_cast<std::uint8_t>(std::min<std::size_t>(length, 255));
  position += length == 256 ? 256 : length + 1;
  entry.offset = LoadLe32Within(table, position);
  entry.size = LoadLe32Within(table, position + 4);
  entry.reserved = LoadLe32Within(table, position + 8);
  return position + 12;
}

bool ReadIndex(ByteSource& file, ArchiveIndex& index) {
  // A file shorter than the header leaves the missing bytes zero.
  std::uint8_t head[kHeaderSize] = {};
  file.ReadAt(0, kHeaderSize, head);
  if (LoadLe32(head) != kMagic) return false;
  const std::uint32_t count = LoadLe32(head + 4);
  const std::uint32_t tableOffset = LoadLe32(head + 8);
  const std::uint32_t tableSize = LoadLe32(head + 12);

  const std::uint32_t fileSize = file.Size();
  if (tableOffset > fileSize || count > MaxEntriesIn(fileSize)) return false;

  const std::uint32_t streamLength = fileSize - tableOffset;
  ByteBuffer stream(streamLength);
  if (streamLength > 0) {
    // A short read leaves the stream shorter; the decoder reads what it
    // lacks as zero bits.
    stream.resize(file.ReadAt(tableOffset, streamLength, stream.data()));
  }

  ByteBuffer table;
  // tableSize only sizes the reservation, so it is held to what the stream
  // could decode to.
  table.reserve(static_cast<std::size_t>(
      std::min<std::uint64_t>(tableSize, lzss::MaxDecodedLength(stream.size()))));
  LzssDecode(stream, table);
  ByteBuffer().swap(stream);

  index.entries.resize(count);
  // Past the end of the table every entry reads as the zero entry that
  // resize() already holds.
  std::size_t position = 0;
  for (std::size_t i = 0; i < index.entries.size() && position < table.size(); ++i) {
    // Name offsets are 32-bit numbers; no table of a well-formed archive
    // comes near 4 GiB (its length is the header's 32-bit tableSize).
    if (position > UINT32_MAX) {
      index = ArchiveIndex();
      return false;
    }
    position = ReadEntry(table, position, index.entries[i]);
  }
  index.names = NamePool(std::move(table));

  index.tableOffset = tableOffset;
  index.archiveSize = fileSize;
  return true;
}

ArchiveHeader ReadHeader(const std::uint8_t* head) {
  return {LoadLe32(head + 4), LoadLe32(head + 8)};
}

// Decodes the table stream stored from tableOffset up to tableEnd into
// table, a piece at a time. A stream the stored bytes cut yields only the
// tokens that lie wholly in them: no token completed by zero bits counts.
// Returns whether the end marker lay in the stored bytes.
bool DecodeTable(ByteSource& source, std::uint32_t tableOffset, std::uint32_t tableEnd,
                 ByteBuffer& table) {
  constexpr std::uint32_t kPiece = 64 * 1024;
  ByteBuffer piece(std::min(kPiece, tableEnd - tableOffset));
  LzssDecoder decoder;
  std::uint32_t at = tableOffset;
  std::size_t size = 0;
  std::size_t used = 0;
  bool stored = true;  // bytes are left to read
  while (!decoder.Ended()) {
    if (used == size && stored) {
      size = at < tableEnd
                 ? source.ReadAt(at, std::min<std::uint32_t>(kPiece, tableEnd - at), piece.data())
                 : 0;
      used = 0;
      at += static_cast<std::uint32_t>(size);
      stored = size > 0;
    }
    // The stored bytes end: what the decoder holds of a token is read as
    // completed by zero bits, and kept only if the end marker lay in them.
    used += decoder.Decode(piece.data() + used, size - used, !stored);
    if (decoder.Ended() && !decoder.Ending().stored) return false;
    table.insert(table.end(), decoder.Output(), decoder.Output() + decoder.OutputSize());
  }
  return true;
}

bool ReadTable(ByteSource& source, std::uint32_t tableOffset, std::uint32_t tableEnd,
               std::uint64_t maxEntries, ArchiveIndex& index) {
  index.entries.clear();
  index.names = NamePool();
  ByteBuffer table;
  const bool ended = tableOffset < tableEnd && DecodeTable(source, tableOffset, tableEnd, table);

  std::size_t position = 0;
  while (index.entries.size() < maxEntries && position < table.size() && position <= UINT32_MAX) {
    // An entry is whole when its name ends within the table (at a NUL, or
    // after 256 bytes) and its 12 bytes of numbers follow.
    const std::size_t room = std::min<std::size_t>(256, table.size() - position);
    const bool named = room == 256 || std::memchr(table.data() + position, 0, room) != nullptr;
    Entry entry;
    const std::size_t next = named ? ReadEntry(table, position, entry) : SIZE_MAX;
    if (next > table.size()) break;
    index.entries.push_back(entry);
    position = next;
  }
  const bool whole = index.entries.size() == maxEntries || (ended && position == table.size());
  index.names = NamePool(std::move(table));
  return whole;
}

// The name, its NUL and 12 bytes of numbers, as nine-bit literals at most.
std::uint64_t EntryTableBits(std::size_t nameLength) {
  return lzss::kLiteralBits * (static_cast<std::uint64_t>(nameLength) + 1 + 12);
}

void Encode(const std::vector<Entry>& entries, const NamePool& names, std::uint32_t tableOffset,
            bool compress, ByteBuffer& table, ByteBuffer& header) {
  std::size_t length = 0;
  for (const Entry& entry : entries) length += entry.nameLength + 1 + 12;
  ByteBuffer plain(length);
  std::uint8_t* out = plain.data();
  for (const Entry& entry : entries) {
    const std::string_view name = names.View(entry.nameOffset, entry.nameLength);
    std::memcpy(out, name.data(), name.size());
    out[name.size()] = 0;
    out += name.size() + 1;
    StoreLe32(entry.offset, out);
    StoreLe32(entry.size, out + 4);
    StoreLe32(entry.reserved, out + 8);
    out += 12;
  }
  if (compress) {
    LzssCompress(plain, table);
  } else {
    LzssStore(plain, table);
  }
  header.resize(kHeaderSize);
  StoreLe32(kMagic, header.data());
  StoreLe32(static_cast<std::uint32_t>(entries.size()), header.data() + 4);
  StoreLe32(tableOffset, header.data() + 8);
  StoreLe32(static_cast<std::uint32_t>(plain.size()), header.data() + 12);
}

}  // namespace

const ArchiveFormat kFormat4 = {"QEV4",    '4',        kMagic,    kHeaderSize,    false, false,
                                ReadIndex, ReadHeader, ReadTable, EntryTableBits, Encode};

}  // namespace qev
