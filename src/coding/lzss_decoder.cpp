// The streaming decoder: runs of tokens (lzss_tokens.h) between the room
// and input checks, fast steps of up to three tokens or eight literals at a
// time while there is room, single exact tokens near the end of the room
// or of the input; the checksum summed behind the read position; and the
// pieces of input and output, with tokens and copies cut anywhere.
//
// It must match tests/support/lzss_reference.cpp byte for byte and checksum for
// checksum, on every input including truncated and damaged streams.
#include "coding/lzss_decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "coding/literal_groups.h"
#include "coding/lzss_stream.h"
#include "coding/lzss_tokens.h"

namespace qev {
namespace {

using lzss::CopyBytes;
using lzss::DecodeLiteralGroups;
using lzss::DecodePosition;
using lzss::DecodeToken;
using lzss::DecodeTokenExactly;
using lzss::kEightFlags;
using lzss::kReferenceBits;
using lzss::kWindowMask;
using lzss::kWindowSize;
using lzss::PeekFast;
using lzss::PeekSafe;
using lzss::SumBytes;

constexpr std::size_t kMargin = LzssDecoder::kFastRoom;
// A run reads 64 stream bits from every bit position before this many
// bytes from the end of its input; nearer the end, through PeekSafe.
constexpr std::size_t kFastTail = 32;
// Bytes behind the read position are summed for the checksum in blocks of
// this size while they are still in cache.
constexpr std::size_t kSumBlock = 4096;
// The streaming decoder keeps at least a window of output and at most two,
// moving it back by whole windows, so that positions keep their place
// modulo 8192.
constexpr std::size_t kKeep = 2 * kWindowSize;

}  // namespace

LzssDecoder::LzssDecoder() = default;

void LzssDecoder::Reset() {
  ByteBuffer window;
  window.swap(window_);
  *this = LzssDecoder();
  window_.swap(window);
}

void LzssDecoder::SumThrough(const std::uint8_t* in, std::uint64_t inStart, std::uint64_t end) {
  if (end <= summed_) return;
  checksum_ += SumBytes(in + (summed_ - inStart), in + (end - inStart));
  summed_ = end;
}

bool LzssDecoder::CopyPending(std::uint8_t* base, std::size_t& n, std::size_t limit) {
  const std::size_t count = std::min(pendingLength_, limit - n);
  CopyBytes(base, n, pendingDistance_, count);
  n += count;
  pendingLength_ -= count;
  return pendingLength_ == 0;
}

// Decodes from the bytes [inStart, inStart + size) of the stream (the read
// position lies within them or, when `last`, possibly past them in the
// zero bits after the stream), writing from base + n up to base + limit.
// Without `last` it stops before a token that might not be whole within
// them. Sums the bytes read through for the checksum.
LzssDecoder::Stop LzssDecoder::Run(const std::uint8_t* const in, const std::size_t size,
                                   const std::uint64_t inStart, const bool last,
                                   std::uint8_t* const base, std::size_t& n,
                                   const std::size_t limit) {
  DecodePosition at{static_cast<std::size_t>(bit_ - 8 * inStart), n, false, ending_.zeroReads};
  const std::size_t fastEnd = size >= kFastTail ? 8 * (size - kFastTail) : 0;
  const std::size_t bitsIn = 8 * size;
  Stop stop = Stop::kEnded;
  while (!at.ended) {
    // The read position can lie past the end of the input, in the zero
    // bits that complete a cut token; only blocks within the input count.
    for (std::uint64_t next = summed_ + kSumBlock;
         inStart + (at.bitPos >> 3) >= next && next <= inStart + size; next += kSumBlock) {
      SumThrough(in, inStart, next);
    }
    if (limit - at.n < kMargin || at.bitPos >= fastEnd) {
      if (!last && at.bitPos + kReferenceBits > bitsIn) {
        stop = Stop::kInput;
        break;
      }
      const std::uint64_t bits = PeekSafe(in, size, at.bitPos);
      if (limit - at.n >= kMargin) {
        DecodeToken(bits, base, at);
        continue;
      }
      // The end marker needs no room.
      if (at.n == limit && bits >> 50 != 0) {
        stop = Stop::kRoom;
        break;
      }
      DecodeTokenExactly(bits, base, limit, at, &pendingDistance_, &pendingLength_);
      if (pendingLength_ > 0) {
        stop = Stop::kRoom;
        break;
      }
      continue;
    }

    // The hot loop, bounded so that the checks above run every few KiB.
    const std::size_t stopBit = std::min(fastEnd, at.bitPos + 8 * kSumBlock);
    const std::size_t stopN = limit - kMargin;
    DecodePosition local = at;
    while (local.bitPos < stopBit && local.n <= stopN) {
      const std::size_t start = local.bitPos;
      const std::uint64_t bits = PeekFast(in, start);
      if ((bits & kEightFlags) == kEightFlags) {
        const std::size_t groups =
            DecodeLiteralGroups(in, start, in + (stopBit >> 3), base + local.n, base + stopN);
        local.bitPos += 8 * lzss::kLiteralBits * groups;
        local.n += 8 * groups;
        continue;
      }
      // Up to three tokens (at most 54 bits) come out of one peeked word,
      // which keeps loads off the chain from one token to the next. The
      // branch on literal or reference stays: while it is predicted, the
      // next token's bit position is known at once. A version that
      // selected by masks instead ran slower on every stream measured,
      // random mixes included: it does the work of both kinds for every
      // token and puts the flag on the chain from one token to the next.
      if (local.n >= kWindowSize) {
        DecodeToken<true>(bits, base, local);
        if (local.ended) break;
        DecodeToken<true>(bits << (local.bitPos - start), base, local);
        if (local.ended) break;
        DecodeToken<true>(bits << (local.bitPos - start), base, local);
        if (local.ended) break;
        continue;
      }
      DecodeToken(bits, base, local);
      if (local.ended) break;
      DecodeToken(bits << (local.bitPos - start), base, local);
      if (local.ended) break;
      DecodeToken(bits << (local.bitPos - start), base, local);
      if (local.ended) break;
    }
    at = local;
  }
  bit_ = 8 * inStart + at.bitPos;
  n = at.n;
  ended_ = at.ended;
  ending_.zeroReads = at.zeroReads;
  if (ended_) {
    // Bits past the input read as zero: an end marker that reaches them
    // was not stored.
    ending_.bits = bit_;
    ending_.stored = at.bitPos <= bitsIn;
    const unsigned fill = (8 - at.bitPos % 8) % 8;
    ending_.zeroFill =
        ending_.stored && (fill == 0 || (in[at.bitPos / 8] & ((1u << fill) - 1)) == 0);
  }
  // The checksum covers every byte of which a bit was read, which is known
  // only at the end marker; until then, the bytes read through.
  const std::uint64_t through = ended_ ? (bit_ + 7) / 8 : bit_ / 8;
  SumThrough(in, inStart, std::min(through, inStart + size));
  return stop;
}

std::size_t LzssDecoder::Decode(const std::uint8_t* in, std::size_t size, bool last,
                                std::size_t room) {
  if (window_.empty()) window_.resize(kKeep + kMaxOutput + kMargin);
  if (n_ + kMaxOutput + kMargin > window_.size()) {
    const std::size_t shift = (n_ - kWindowSize) & ~std::size_t{kWindowMask};
    std::memmove(window_.data(), window_.data() + shift, n_ - shift);
    n_ -= shift;
  }
  outputStart_ = n_;
  const std::size_t limit = n_ + (room == 0 ? kMaxOutput : std::min(room, kMaxOutput));
  std::uint8_t* const base = window_.data();
  if (ended_ || !CopyPending(base, n_, limit)) return 0;

  std::size_t used = 0;  // of the size bytes at in, which start at byte taken_
  while (true) {
    if (carrySize_ == 0) {
      const Stop stop = Run(in, size, taken_, last, base, n_, limit);
      const std::size_t through = static_cast<std::size_t>(bit_ / 8 - taken_);
      if (stop != Stop::kInput) {
        used = std::min(through, size);
        break;
      }
      // Fewer than 18 bits are left: at most 3 bytes wait for the next.
      carrySize_ = size - through;
      if (carrySize_ > 0) std::memcpy(carry_, in + through, carrySize_);
      used = size;
      break;
    }
    // A token cut short by the end of the last piece: the carried bytes and
    // the next ones of this piece, decoded from a copy.
    const std::size_t add = std::min(size - used, sizeof carry_ - carrySize_);
    if (add > 0) std::memcpy(carry_ + carrySize_, in + used, add);
    carrySize_ += add;
    used += add;
    const std::uint64_t carryStart = taken_ + used - carrySize_;
    const Stop stop = Run(carry_, carrySize_, carryStart, last && used == size, base, n_, limit);
    if (stop != Stop::kInput) break;
    const std::uint64_t q = bit_ / 8;
    const auto drop = static_cast<std::size_t>(q - carryStart);
    carrySize_ -= drop;
    std::memmove(carry_, carry_ + drop, carrySize_);
    if (q >= taken_) {
      // What is left lies in this piece: read on from there.
      used = static_cast<std::size_t>(q - taken_);
      carrySize_ = 0;
    } else if (used == size) {
      break;
    }
  }
  taken_ += used;
  return used;
}

bool LzssDecoder::DecodeWhole(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                              std::size_t& produced, std::size_t limit) {
  return CopyPending(out, produced, limit) &&
         Run(in, size, 0, true, out, produced, limit) == Stop::kEnded;
}

}  // namespace qev
