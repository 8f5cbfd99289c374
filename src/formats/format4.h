// Format 4: a 16-byte little-endian header ("QEV4", count, tableOffset,
// tableSize), member streams from offset 16, and the plain table stored as
// one LZSS stream from tableOffset to the end. The plain table holds each
// entry's name, a NUL, and its offset, size and reserved field as
// little-endian 32-bit numbers; tableSize is its length.
#pragma once

#include "formats/archive.h"

namespace qev {

extern const ArchiveFormat kFormat4;

}  // namespace qev
