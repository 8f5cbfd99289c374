// Format 3: "QEV3", a bit-packed header (count, tableOffset) in a 13-byte
// area, member streams from offset 13, and a bit-packed table from
// tableOffset to the end of the file. Each entry: the time's high and low
// halves, the checksum, the offset and the size as packed integers, then the
// name's bytes and a NUL, eight bits each.
#pragma once

#include "formats/archive.h"

namespace qev {

extern const ArchiveFormat kFormat3;

}  // namespace qev
