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
  // How strongly the whole streams show that an encoder wrote them
  // (StreamEvidence, summed).
  std::uint64_t evidence = 0;
};

// Where the stream in extent ends, and how (its bits decoded and dropped).
// May throw std::bad_alloc.
StreamEnding EndOfStream(ByteSource& source, MemberExtent extent, MemberDecoding& decoding);

// What a whole stream of the given ending adds to its walk's evidence: its
// stored bytes where it looks written by an encoder. Every encoder fills
// the end marker's byte with zero bits, which bits read out of step show
// only by chance; and an encoder reads the window's initial zeros seldom
// (for a member that starts with zero bytes), bits read out of step mostly
// in their first references. A stream that reads them is weighed down by
// their number, not dropped: a member that starts with zero bytes stays
// evidence, a run of such reads is not.
std::uint64_t StreamEvidence(const StreamEnding& ending);

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
