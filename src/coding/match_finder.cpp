// The match finder: per hash of 4 bytes and per hash of 8 bytes a chain of
// the positions, newest first; matches of exactly 3 bytes come from the
// newest source per hash of 3 bytes (a source that another 3 bytes of the
// same hash displaced is lost: 0.01% on a corpus of installed files).
//
// Positions. Output byte n lands at window position (n + 1) mod 8192, so a
// reference to the byte d outputs back names position (n + 1 - d) mod 8192,
// and position 0 cannot be named (it is the end marker): the bytes at
// window position 0, the outputs n = 8191 mod 8192 and the initial zero just
// before the first output, are never a source. In the buffer, where blocks
// start at 1 mod 8192, these are exactly the multiples of 8192.
//
// A search for matches of at least `want` bytes walks the chain of the 4
// (or, from 8 bytes on, the 8) bytes that end the wanted length, not of
// those that start it: a candidate must have them too, and they are far
// rarer where the current string starts with spaces, zeros or any run. The
// chain of the bytes `skew` on holds the candidates skew bytes on, and
// since the chains run kAhead positions ahead, it holds the sources less
// than skew bytes back as well.
#include "coding/match_finder.h"

#include <algorithm>

#include "coding/lzss_stream.h"

namespace qev {
namespace {

using lzss::kMinMatch;
using lzss::kWindowSize;

// Hash sizes in bits, at most.
constexpr int kHashBits = 14;
constexpr int kHash3Bits = 16;
constexpr std::uint32_t kRing = MatchFinder::kRing;
constexpr std::uint32_t kRingMask = kRing - 1;
static_assert(kRing == 2 * kWindowSize && MatchFinder::kAhead + kWindowSize <= kRing &&
              kRing < 0xFFFF);

}  // namespace

MatchFinder::MatchFinder() : older_(new std::uint16_t[3 * kRing]) {}

MatchFinder::~MatchFinder() = default;

void MatchFinder::Reset(const std::uint8_t* buffer, int hashBits, std::uint32_t from,
                        std::uint32_t start, std::uint32_t end) {
  buffer_ = buffer;
  end_ = end;
  bits_ = std::min(hashBits, kHashBits);
  bits3_ = std::min(hashBits, kHash3Bits);
  head_.assign(2 * (std::size_t{1} << bits_) + (std::size_t{1} << bits3_), 0);
  for (std::uint32_t p = from; p < std::min(start + kAhead, end); ++p) Chain(p);
}

Match MatchFinder::Find(std::uint32_t cur, std::uint32_t least, std::uint32_t most) const {
  const std::uint8_t* const current = buffer_ + cur;
  Match best;
  // The length a candidate must reach to count.
  std::uint32_t want = least;
  if (want == kMinMatch) {
    const std::uint32_t source = cur - older_[2 * kRing + (cur & kRingMask)];
    if (cur - source <= kWindowSize && source % kWindowSize != 0 &&
        ((Load32(buffer_ + source) ^ Load32(current)) & 0xFFFFFF) == 0) {
      best = {kMinMatch, cur - source};
    }
  }
  want = std::max(want, kMinMatch + 1);
  // Each longer match found starts a walk of the chain of the new key,
  // which holds fewer candidates; kMaxChain candidates in all.
  std::uint32_t skew = 0;
  std::uint32_t node = 0;
  const std::uint16_t* older = nullptr;
  const auto walk = [&] {
    const bool eight = want >= 8;
    skew = want - (eight ? 8 : 4);
    node = cur + skew;
    older = older_.get() + (eight ? kRing : 0);
  };
  walk();
  for (std::uint32_t depth = 0; want <= most && depth < kMaxChain; ++depth) {
    node -= older[node & kRingMask];
    const std::uint32_t source = node - skew;
    const std::uint32_t distance = cur - source;
    if (distance > kWindowSize) break;  // also the end of a chain
    const std::uint8_t* const candidate = buffer_ + source;
    // Only a candidate equal up to byte want - 1 can count.
    if (candidate[want - 1] == current[want - 1] && source % kWindowSize != 0) {
      const std::uint32_t length = CommonLength(candidate, current, most);
      if (length >= want) {
        best = {length, distance};
        want = length + 1;
        walk();
      }
    }
  }
  return best;
}

}  // namespace qev
