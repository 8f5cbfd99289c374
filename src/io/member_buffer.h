// Buffers that hold one member whole.
#pragma once

#include <cstddef>

#include "types.h"

namespace qev {

// Makes buffer's capacity at least size, for a buffer about to be filled
// anew: when it must grow, its old contents are dropped and its old storage
// is released before the new storage is taken, so that the two are never
// held at once. New storage of several megabytes is advised for large
// pages (platform::AdviseLargePages). Throws std::bad_alloc when memory
// cannot hold size bytes; the buffer is then empty.
void ReserveForMember(ByteBuffer& buffer, std::size_t size);

}  // namespace qev
