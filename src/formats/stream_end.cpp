#include "formats/stream_end.h"

#include <algorithm>
#include <cstring>

#include "coding/lzss_stream.h"

namespace qev {
namespace {

// A peek takes 64 bits from any bit of a byte: 9 bytes from there.
constexpr std::uint32_t kPeekBytes = 9;
// Where a reference's fields lie in a peek that starts at its flag.
constexpr unsigned kPositionShift = 63 - lzss::kPositionBits;
constexpr unsigned kLengthShift = kPositionShift - lzss::kLengthBits;
constexpr std::uint64_t kLengthMask = (1u << lzss::kLengthBits) - 1;
// The flags of eight literals in a row.
constexpr std::uint64_t kEightFlags =
    1ull << 63 | 1ull << 54 | 1ull << 45 | 1ull << 36 | 1ull << 27 | 1ull << 18 | 1ull << 9 | 1ull;

std::uint64_t Peek(const std::uint8_t* p, unsigned bit) {
  std::uint64_t word = 0;
  for (int i = 0; i < 8; ++i) word = word << 8 | p[i];
  return bit == 0 ? word : word << bit | p[8] >> (8 - bit);
}

// Reads the piece that starts at byte `at`, with zeros after it.
void Load(ByteSource& source, std::uint32_t at, std::uint32_t limit, StreamScanner& scanner) {
  const std::uint32_t want = std::min(StreamScanner::kPiece, limit - at);
  // Sized to what is read, so that a short stream costs no whole piece.
  if (scanner.buffer.size() < want + kPeekBytes) scanner.buffer.resize(want + kPeekBytes);
  scanner.start = at;
  scanner.size = want == 0 ? 0 : source.ReadAt(at, want, scanner.buffer.data());
  std::memset(scanner.buffer.data() + scanner.size, 0, kPeekBytes);
}

}  // namespace

StreamEnd FindStreamEnd(ByteSource& source, std::uint32_t start, std::uint32_t limit,
                        StreamScanner& scanner) {
  StreamEnd end;
  if (limit < start) limit = start;
  std::uint64_t bit = std::uint64_t{start} * 8;     // the next token's first bit in the source
  std::uint64_t stored = std::uint64_t{limit} * 8;  // bits there are to read
  while (true) {
    const auto byte = static_cast<std::uint32_t>(std::min<std::uint64_t>(bit / 8, limit));
    const std::uint64_t pieceEnd = std::uint64_t{scanner.start} + scanner.size;
    // A piece serves while the peek stays within it, or within the zeros
    // after it once the stored bytes end there. A piece read for a longer
    // stream may run past this limit: what lies beyond is masked off.
    if (scanner.buffer.empty() || byte < scanner.start ||
        (byte + kPeekBytes > pieceEnd && pieceEnd < limit)) {
      Load(source, byte, limit, scanner);
      // A short read ends the stored bytes: the end of the source, or a
      // read that failed.
      if (scanner.size < std::min(StreamScanner::kPiece, limit - byte)) {
        limit = byte + scanner.size;
        stored = std::uint64_t{limit} * 8;
      }
      continue;
    }
    std::uint64_t bits = 0;
    if (bit < stored) {
      bits = Peek(scanner.buffer.data() + (byte - scanner.start), bit % 8);
      if (stored - bit < 64) bits &= ~std::uint64_t{0} << (64 - (stored - bit));
    }
    if ((bits & kEightFlags) == kEightFlags && bit + 8 * lzss::kLiteralBits <= stored) {
      bit += 8 * lzss::kLiteralBits;  // eight literals
      end.decoded += 8;
    } else if (bits >> 63) {
      bit += lzss::kLiteralBits;
      end.decoded += 1;
    } else if ((bits >> kPositionShift & lzss::kWindowMask) == 0) {
      bit += lzss::kEndMarkerBits;
      break;
    } else {
      bit += lzss::kReferenceBits;
      end.decoded += (bits >> kLengthShift & kLengthMask) + lzss::kMinMatch;
    }
  }
  end.cut = bit > stored;
  end.length = end.cut ? limit - start : static_cast<std::uint32_t>((bit + 7) / 8 - start);
  return end;
}

}  // namespace qev
