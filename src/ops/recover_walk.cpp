#include "ops/recover_walk.h"

#include <algorithm>

namespace qev {
namespace {

// A table's first entry lies within this many stored bytes: 255 name bytes,
// a NUL and the numbers, in either format, as literals at worst.
constexpr std::uint32_t kFirstEntryBytes = 640;

// What an end marker's byte not filled with zero bits, and a read of the
// window's initial zeros, weigh against a stream, in bits: the first is
// what no encoder writes, the second what one seldom does.
constexpr std::int64_t kEndBits = 8;
constexpr std::int64_t kZeroReadBits = 4;

bool IsStart(const StreamWalk& walk, std::size_t before, std::uint32_t offset) {
  const auto end = walk.starts.begin() + static_cast<std::ptrdiff_t>(before);
  return std::binary_search(walk.starts.begin(), end, offset);
}

// Whether every entry of index starts one of the first `before` streams, in
// rising order.
bool EntriesMatch(const StreamWalk& walk, std::size_t before, const ArchiveIndex& index) {
  for (std::size_t k = 0; k < index.entries.size(); ++k) {
    const std::uint32_t offset = index.entries[k].offset;
    if (k > 0 && offset <= index.entries[k - 1].offset) return false;
    if (!IsStart(walk, before, offset)) return false;
  }
  return !index.entries.empty();
}

}  // namespace

StreamEnding EndOfStream(ByteSource& source, MemberExtent extent, MemberDecoding& decoding) {
  return DecodeMember(source, extent, decoding, [](const std::uint8_t*, std::size_t) {}).ending;
}

std::int64_t StreamEvidence(const StreamEnding& ending) {
  const auto fill = static_cast<std::int64_t>((8 - ending.bits % 8) % 8);
  const std::int64_t reads = kZeroReadBits * std::int64_t{ending.zeroReads};
  return (ending.zeroFill ? kEndBits + fill : -kEndBits) - reads;
}

void WalkStreams(ByteSource& source, std::uint32_t first, std::uint32_t limit, std::uint32_t zeros,
                 StreamWalk& walk) {
  walk = StreamWalk();
  walk.end = first;
  MemberDecoding decoding;
  for (std::uint32_t at = first; at < limit;) {
    const StreamEnding ending = EndOfStream(source, {at, limit - at}, decoding);
    walk.starts.push_back(at);
    if (!ending.stored) {
      walk.end = limit;
      walk.lastCut = true;
      break;
    }
    at += static_cast<std::uint32_t>(ending.Bytes());
    walk.end = at;
    if (at > zeros) walk.evidence += StreamEvidence(ending);
  }
}

MemberExtent StreamExtent(const StreamWalk& walk, std::size_t i) {
  const std::uint32_t end = i + 1 < walk.starts.size() ? walk.starts[i + 1] : walk.end;
  return {walk.starts[i], end - walk.starts[i]};
}

bool FindTable(ByteSource& source, const ArchiveFormat& format, StreamWalk& walk,
               ArchiveIndex& index) {
  index = ArchiveIndex();
  const std::uint32_t fileEnd = source.Size();
  ArchiveIndex probe;
  for (std::size_t i = 1; i < walk.starts.size(); ++i) {
    const std::uint32_t at = walk.starts[i];
    // The first entry alone first, from a few bytes: most starts are not
    // a table, and reading each to the end of the file would take time in
    // proportion to the square of the file's size.
    const std::uint32_t probeEnd =
        fileEnd - at > kFirstEntryBytes ? at + kFirstEntryBytes : fileEnd;
    format.readTable(source, at, probeEnd, 1, probe);
    if (probe.entries.size() != 1 || probe.entries[0].offset != walk.starts[0]) continue;
    const bool ended = format.readTable(source, at, fileEnd, UINT64_MAX, index);
    if (!EntriesMatch(walk, i, index)) continue;
    walk.starts.resize(i);
    walk.end = at;
    walk.lastCut = false;
    index.tableOffset = at;
    index.archiveSize = fileEnd;
    return ended && index.entries.size() == i;
  }
  index = ArchiveIndex();
  return false;
}

}  // namespace qev
