// Format 4: a 16-byte little-endian header ("QEV4", count, tableOffset,
// tableSize), member streams from offset 16, and the plain table stored as
// one LZSS stream from tableOffset to the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

struct Format4Entry {
  char name[256] = {};  // always NUL-terminated after a read
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t reserved = 0;
};

// Reads the whole index of the archive at path. True when the file opens
// and begins with the format-4 magic; entries then holds count entries in
// table order. False otherwise (also for a damaged index that no file of
// this size can hold): entries empty, *header untouched. Prints nothing.
bool ReadFormat4Index(const std::string& path, std::vector<Format4Entry>& entries,
                      Format4Header* header);

// Resizes table to exactly the plain table's length (its tableSize) and
// lays every entry into it: name, NUL, offset, size, reserved.
void BuildFormat4Table(const std::vector<Format4Entry>& entries, ByteBuffer& table);

}  // namespace qev
