// Walking an archive stream by stream, and finding its table among the
// streams walked, for recovery.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "coding/lzss.h"
#include "formats/archive.h"
#include "io/byte_source.h"
#include "ops/member_decode.h"

namespace qev {

// The member streams that lie back to back from a first offset. Stream i
// runs from starts[i] to starts[i + 1], the last one to end. Only the last
// can be cut: every other one ended where the next begins.
struct StreamWalk {
  std::vector<std::uint32_t> starts;
  std::uint32_t end = 0;
  bool lastCut = false;  // the limit came before the last one's end marker
  // How strongly the whole streams show that an encoder wrote them: their
  // StreamEvidence summed.
  std::int64_t evidence = 0;
};

// Where the stream in extent ends, and how (its bits decoded and dropped).
// May throw std::bad_alloc.
StreamEnding EndOfStream(ByteSource& source, MemberExtent extent, MemberDecoding& decoding);

// What a whole stream of the given ending adds to its walk's evidence that
// an encoder wrote it, in bits as it were. Every encoder fills the end
// marker's byte with zero bits and seldom reads the window's initial zeros
// (for a member that starts with zero bytes); bits read out of step fill it
// with zeros only by chance and read the initial zeros in most of their
// first references. A stream that ends as an encoder ends it counts for its
// walk, the more the more fill bits it has; one that does not, against;
// each read of the initial zeros weighs against it. No one sign decides: a
// member that starts with zero bytes still counts for its walk. Streams
// count, not their bytes: a false stream that runs on through short true
// ones does not outweigh them.
std::int64_t StreamEvidence(const StreamEnding& ending);

// Walks the streams from first up to limit. Each stream has at least two
// bytes (an end marker is 14 bits), so a walk through anything ends, with
// at most one start per two bytes. Streams that lie wholly in the first
// `zeros` bytes, which are zero, add no evidence: a header area of zeros
// reads as empty streams in any layout. May throw std::bad_alloc.
void WalkStreams(ByteSource& source, std::uint32_t first, std::uint32_t limit, std::uint32_t zeros,
                 StreamWalk& walk);

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
