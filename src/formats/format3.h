// Format 3: "QEV3", a bit-packed header in a 13-byte area, member streams
// from offset 13, and a bit-packed table from tableOffset to the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "coding/bit_stream.h"
#include "formats/archive_index.h"
#include "types.h"

namespace qev {

inline constexpr std::uint32_t kFormat3Magic = 0x33564551;  // "QEV3"
inline constexpr std::uint32_t kFormat3HeaderArea = 13;

struct Format3Header {
  std::uint32_t magic = 0;
  std::uint32_t count = 0;
  std::uint32_t tableOffset = 0;
};

// The name, at most 255 bytes, lies in a NamePool beside the entries.
struct Format3Entry {
  FILETIME writeTime;
  std::uint32_t checksum = 0;
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
  std::uint32_t nameOffset = 0;
  std::uint8_t nameLength = 0;
};

using Format3Index = ArchiveIndex<Format3Entry>;

// Reads the whole index of the archive at path. True when the file opens
// and begins with the format-3 magic; the index then holds count entries in
// table order. False otherwise (also for a damaged index that no file of
// this size can hold): the index empty, *header untouched. Prints nothing.
bool ReadFormat3Index(const std::string& path, Format3Index& index, Format3Header* header);

// Appends the table bit stream of all entries, whose names lie in names, to
// a writer just Reset onto a buffer.
void EncodeFormat3Table(const std::vector<Format3Entry>& entries, const NamePool& names,
                        BitWriter& writer);

// Appends the header bit stream (7 to 13 bytes) to a writer just Reset.
void EncodeFormat3Header(std::uint32_t count, std::uint32_t tableOffset, BitWriter& writer);

}  // namespace qev
