// The LZSS member stream, the one layout that the decoder, the encoders,
// the formats and the tests share. Tokens, most significant bit first:
//   literal:    flag 1, then the byte (8 bits);
//   reference:  flag 0, a 13-bit absolute window position 1..8191, a 4-bit
//               length L for L + 3 bytes;
//   end marker: flag 0, window position 0 (14 bits, no length).
// The window holds 8192 bytes, all zero at first, with the write position
// at 1; output byte n lands at window position (n + 1) mod 8192. After the
// end marker the last byte is filled with zero bits.
#pragma once

#include <cstdint>

namespace qev::lzss {

inline constexpr unsigned kPositionBits = 13;
inline constexpr unsigned kLengthBits = 4;

inline constexpr std::uint32_t kWindowSize = std::uint32_t{1} << kPositionBits;  // 8192
inline constexpr std::uint32_t kWindowMask = kWindowSize - 1;                    // 0x1FFF
// Where the first output byte lands; position 0 is the end marker, so it is
// never a source.
inline constexpr std::uint32_t kFirstWritePosition = 1;

inline constexpr std::uint32_t kMinMatch = 3;
inline constexpr std::uint32_t kMaxMatch = kMinMatch + (std::uint32_t{1} << kLengthBits) - 1;  // 18

// Token widths in bits; they are also the costs the compressor minimises.
inline constexpr unsigned kLiteralBits = 1 + 8;                              // 9
inline constexpr unsigned kReferenceBits = 1 + kPositionBits + kLengthBits;  // 18
inline constexpr unsigned kEndMarkerBits = 1 + kPositionBits;                // 14

// The stream of n bytes as literals only, then the end marker:
// ceil((9n + 14) / 8) bytes. No encoder of qev writes a longer stream.
constexpr std::uint64_t StoredStreamLength(std::uint64_t n) {
  return (kLiteralBits * n + kEndMarkerBits + 7) / 8;
}

// The most a stream of streamBytes bytes decodes to, whatever it holds: a
// whole token never yields more bytes than it has bits (a reference's 18
// bytes in 18 bits), so at most 8 bytes per stream byte; and the last token,
// cut short by the end of the stream and completed by zero bits, yields at
// most one more reference's worth.
constexpr std::uint64_t MaxDecodedLength(std::uint64_t streamBytes) {
  return 8 * streamBytes + kMaxMatch;
}

static_assert(kMaxMatch <= kReferenceBits,
              "a whole token yields at most one byte per bit, which MaxDecodedLength relies on");
static_assert(StoredStreamLength(0) == 2 && StoredStreamLength(8) == 11);

}  // namespace qev::lzss
