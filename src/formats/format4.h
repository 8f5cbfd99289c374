// Format 4: a 16-byte little-endian header ("QEV4", count, tableOffset,
// tableSize), member streams from offset 16, and the plain table stored as
// one LZSS stream from tableOffset to the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/archive_index.h"
#include "types.h"

namespace qev {

inline constexpr std::uint32_t kFormat4Magic = 0x34564551;  // "QEV4"
inline constexpr std::uint32_t kFormat4HeaderSize = 16;

struct Format4Header {
  std::uint32_t magic = 0;
  std::uint32_t count = 0;
  std::uint32_t tableOffset = 0;
  std::uint32_t tableSize = 0;
};

// The name, at most 255 bytes, lies in a NamePool beside the entries.
struct Format4Entry {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t reserved = 0;
  std::uint32_t nameOffset = 0;
  std::uint8_t nameLength = 0;
};

using Format4Index = ArchiveIndex<Format4Entry>;

// Reads the whole index of the archive at path. True when the file opens
// and begins with the format-4 magic; the index then holds count entries in
// table order. False otherwise (also for a damaged index that no file of
// this size can hold): the index empty, *header untouched. Prints nothing.
bool ReadFormat4Index(const std::string& path, Format4Index& index, Format4Header* header);

// Resizes table to exactly the plain table's length (its tableSize) and
// lays every entry into it: name (from names), NUL, offset, size, reserved.
void BuildFormat4Table(const std::vector<Format4Entry>& entries, const NamePool& names,
                       ByteBuffer& table);

}  // namespace qev
