// Walking an archive stream by stream, and finding its table among the
// streams walked, for recovery.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/archive.h"
#include "io/byte_source.h"

namespace qev {

// The member streams that lie back to back from a first offset. Stream i
// runs from starts[i] to starts[i + 1], the last one to end. Only the last
// can be cut: every other one ended where the next begins.
struct StreamWalk {
  std::vector<std::uint32_t> starts;
  std::uint32_t end = 0;
  bool lastCut = false;          // the limit came before the last one's end marker
  std::uint64_t wholeBytes = 0;  // what the streams that are not cut decode to
};

// Walks the streams from first up to limit. Each stream has at least two
// bytes (an end marker is 14 bits), so a walk through anything ends, with
// at most one start per two bytes. May throw std::bad_alloc.
void WalkStreams(ByteSource& source, std::uint32_t first, std::uint32_t limit, StreamWalk& walk);

// Stream i's stored bytes.
MemberExtent StreamExtent(const StreamWalk& walk, std::size_t i);

// The table of an archive whose header is gone, found at the end of the
// walk: the first stream start (after the first) from which the format's
// table reads whole leading entries whose offsets are stream starts before
// it, in rising order, the first entry's being the first stream's. The walk
// is cut back to the streams before the table, index holds its entries.
// Returns whether the table is whole (every stream before it has its
// entry, and the table ended with its last one); with no table found the
// index is empty and the walk unchanged. May throw std::bad_alloc.
bool FindTable(ByteSource& source, const ArchiveFormat& format, StreamWalk& walk,
               ArchiveIndex& index);

}  // namespace qev
