// Decoding one member's stored stream after another, straight from the
// archive, a piece at a time.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "coding/lzss.h"
#include "formats/archive.h"
#include "io/byte_source.h"
#include "ops/report.h"

namespace qev {

// What decoding one member after another reuses: the decoder, and the
// piece of the archive read last. Members lie back to back, so one read of
// a piece serves every small member in it.
struct MemberDecoding {
  // The stored stream is read in pieces of this size, a multiple of the
  // cache line.
  static constexpr std::uint32_t kPiece = 256 * 1024;
  // The kernel copies a read fastest when the destination lies at the same
  // offset within a cache line as the file position: a member of format 3,
  // which starts 13 bytes into the archive, took almost three times as long
  // to read into storage that malloc aligns to 16.
  static constexpr std::size_t kCacheLine = 64;

  ByteBuffer buffer;
  const std::uint8_t* piece = nullptr;  // in buffer, at the file position's cache-line offset
  std::uint32_t start = 0;              // the piece's position in the archive
  std::uint32_t size = 0;
  LzssDecoder decoder;
  // Told the archive position of every piece read, when not null, with
  // the member being decoded.
  ProgressCount* progress = nullptr;
  std::string_view member;
};

struct DecodedMember {
  std::uint32_t checksum = 0;  // the decoder's
  StreamEnding ending;         // where in the extent the stream ended, and how
};

// Reads the stored stream in extent piece by piece and decodes it, handing
// every piece of output in turn to sink(data, size). The stored size is
// only a hint, and a damaged one can be anything: no stream decodes to more
// than eight bytes per stored byte (and one last token), whatever the size
// says. May throw std::bad_alloc.
template <class Sink>
DecodedMember DecodeMember(ByteSource& archive, MemberExtent extent, MemberDecoding& decoding,
                           Sink&& sink) {
  constexpr std::uint32_t kPiece = MemberDecoding::kPiece;
  if (decoding.buffer.empty()) {
    decoding.buffer.resize(kPiece + MemberDecoding::kCacheLine);
    decoding.piece = decoding.buffer.data();
  }
  LzssDecoder& decoder = decoding.decoder;
  decoder.Reset();
  std::uint32_t next = extent.start;  // the next stored byte for the decoder
  std::uint32_t left = extent.length;
  while (!decoder.Ended()) {
    const std::uint64_t pieceEnd = std::uint64_t{decoding.start} + decoding.size;
    if (left > 0 && (next < decoding.start || next >= pieceEnd)) {
      const std::size_t shift = (next - reinterpret_cast<std::uintptr_t>(decoding.buffer.data())) %
                                MemberDecoding::kCacheLine;
      std::uint8_t* const piece = decoding.buffer.data() + shift;
      decoding.piece = piece;
      decoding.start = next;
      decoding.size = archive.ReadAt(next, kPiece, piece);
      // A piece that ends within the extent ends it: the archive ended, or
      // a read failed, before the stored bytes did.
      if (decoding.size < std::min(left, kPiece)) left = decoding.size;
      if (decoding.progress != nullptr) decoding.progress->At(next, decoding.member);
      continue;
    }
    const std::uint32_t ready =
        left == 0 ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(left, pieceEnd - next));
    const std::uint8_t* const at = decoding.piece + (left == 0 ? 0 : next - decoding.start);
    const auto used = static_cast<std::uint32_t>(decoder.Decode(at, ready, ready == left));
    next += used;
    left -= used;
    if (decoder.OutputSize() > 0) sink(decoder.Output(), decoder.OutputSize());
  }
  return {decoder.Checksum(), decoder.Ending()};
}

}  // namespace qev
