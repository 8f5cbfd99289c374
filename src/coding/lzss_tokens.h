// Decoding one token of the member stream into the output, which is itself
// the window. The streaming decoder's runs are made of these steps.
//
// The output is written through a raw pointer into a buffer whose bytes up
// to the write index n hold the output so far, or at least its latest 8192
// bytes with n congruent to the output's length modulo 8192 (n then is at
// least 8192), so that the window is the output itself.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "coding/literal_groups.h"
#include "coding/lzss_stream.h"

namespace qev::lzss {

// Where a reference's fields lie in a 64-bit word of stream bits whose top
// bit is the reference's flag, and where a literal's byte lies.
inline constexpr unsigned kPositionShift = 63 - kPositionBits;          // 50
inline constexpr unsigned kLengthShift = kPositionShift - kLengthBits;  // 46
inline constexpr std::uint64_t kLengthMask = (std::uint64_t{1} << kLengthBits) - 1;
inline constexpr unsigned kLiteralShift = 64 - kLiteralBits;  // 55

// The 64 stream bits from bit `bitPos` on, with the bytes up to q + 9
// readable (q = bitPos / 8).
inline std::uint64_t PeekFast(const std::uint8_t* in, std::size_t bitPos) {
  const std::uint8_t* const q = in + (bitPos >> 3);
  const unsigned o = bitPos & 7;
  return LoadBigEndian64(q) << o | q[8] >> (8 - o);
}

// The same from any position: bytes at or past `size` read as zero.
inline std::uint64_t PeekSafe(const std::uint8_t* in, std::size_t size, std::size_t bitPos) {
  std::uint8_t bytes[10] = {};
  const std::size_t q = bitPos >> 3;
  for (std::size_t k = 0; k < 10 && q + k < size; ++k) bytes[k] = in[q + k];
  return PeekFast(bytes, bitPos & 7);
}

struct DecodePosition {
  std::size_t bitPos = 0;  // stream bits consumed
  std::size_t n = 0;       // bytes produced
  bool ended = false;      // the end marker has been read
  // References whose source starts before the first output byte, in the
  // window's initial zeros: an encoder seldom writes one, bits read out of
  // step often do.
  std::uint32_t zeroReads = 0;
};

// A reference, the token at the top of `bits` when its flag is 0.
struct Reference {
  std::uint32_t position;  // 0 for the end marker
  std::size_t length;
};

inline Reference ReadReference(std::uint64_t bits) {
  return {static_cast<std::uint32_t>(bits >> kPositionShift) & kWindowMask,
          static_cast<std::size_t>(bits >> kLengthShift & kLengthMask) + kMinMatch};
}

// The window is the output itself: window position p holds the latest
// output byte j with j + 1 == p (mod 8192), and 0 if there is none. With n
// bytes produced the write position is (n + 1) mod 8192, so the source lies
// (n + 1 - p) mod 8192 bytes back, except that a reference to the write
// position itself reaches back a whole window; ((n - p) mod 8192) + 1 is
// both at once, without a branch. A source further back than n is in the
// zeros the window started with.
inline std::size_t SourceDistance(std::size_t n, std::uint32_t p) {
  return ((n - p) & kWindowMask) + 1;
}

// Byte by byte, exactly as the window works: an overlapping source repeats
// the bytes just produced, a source before the first output byte reads 0.
inline void CopyBytes(std::uint8_t* base, std::size_t n, std::size_t distance, std::size_t length) {
  for (std::size_t j = n; j < n + length; ++j) base[j] = j >= distance ? base[j - distance] : 0;
}

// Carries out the one token at the top of `bits` (the stream from
// at.bitPos on). Writes up to 24 bytes from base + at.n. kWarm promises
// that a whole window has been produced (at.n >= 8192), so that every
// source lies in the output and the test for the initial zeros can go.
template <bool kWarm = false>
inline void DecodeToken(std::uint64_t bits, std::uint8_t* base, DecodePosition& at) {
  if (bits >> 63) {
    base[at.n++] = static_cast<std::uint8_t>(bits >> kLiteralShift);
    at.bitPos += kLiteralBits;
    return;
  }
  const Reference ref = ReadReference(bits);
  if (ref.position == 0) {
    at.bitPos += kEndMarkerBits;
    at.ended = true;
    return;
  }
  at.bitPos += kReferenceBits;
  const std::size_t distance = SourceDistance(at.n, ref.position);
  std::uint8_t* const out = base + at.n;
  const std::size_t length = ref.length;
  if (!kWarm && distance > at.n) {
    ++at.zeroReads;
    CopyBytes(base, at.n, distance, length);
    at.n += length;
    return;
  }
  at.n += length;
  // Copies in 8-byte chunks, each reading only bytes already final; the
  // bytes copied past `length` lie within the room the caller keeps for a
  // fast step and are overwritten later. A source less than 8 bytes back repeats the bytes just
  // produced: the first 8 bytes are copied so that the pattern is laid out, and the source for the
  // rest is moved to a point a whole number of pattern periods and at least 8 bytes behind.
  const std::uint8_t* src = out - distance;
  if (distance < 8) {
    static constexpr std::uint8_t kSecondHalfStep[8] = {0, 1, 2, 1, 0, 4, 4, 4};
    static constexpr std::int8_t kRewind[8] = {0, 0, 0, -1, -4, 1, 2, 3};
    out[0] = src[0];
    out[1] = src[1];
    out[2] = src[2];
    out[3] = src[3];
    src += kSecondHalfStep[distance];
    std::memcpy(out + 4, src, 4);
    src -= kRewind[distance];
  } else {
    std::memcpy(out, src, 8);
    src += 8;
  }
  std::memcpy(out + 8, src, 8);
  std::memcpy(out + 16, src + 8, 8);
}

// The same, writing at most up to `limit`: a reference's copy that does
// not fit is cut there, and what is left of it goes to *pendingLength.
inline void DecodeTokenExactly(std::uint64_t bits, std::uint8_t* base, std::size_t limit,
                               DecodePosition& at, std::size_t* pendingDistance,
                               std::size_t* pendingLength) {
  if (bits >> 63) {
    base[at.n++] = static_cast<std::uint8_t>(bits >> kLiteralShift);
    at.bitPos += kLiteralBits;
    return;
  }
  const Reference ref = ReadReference(bits);
  if (ref.position == 0) {
    at.bitPos += kEndMarkerBits;
    at.ended = true;
    return;
  }
  at.bitPos += kReferenceBits;
  const std::size_t distance = SourceDistance(at.n, ref.position);
  if (distance > at.n) ++at.zeroReads;
  const std::size_t count = std::min(ref.length, limit - at.n);
  CopyBytes(base, at.n, distance, count);
  at.n += count;
  *pendingDistance = distance;
  *pendingLength = ref.length - count;
}

}  // namespace qev::lzss
