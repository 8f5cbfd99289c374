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
constexpr int kHashBits = 15;
constexpr int kHash3Bits = 16;
constexpr std::uint32_t kRing = MatchFinder::kRing;
constexpr std::uint32_t kRingMask = kRing - 1;
static_assert(kRing == 2 * kWindowSize && MatchFinder::kAhead + kWindowSize <= kRing);

// The tables of the last finder that ended on this thread, for the next
// one: small members make a finder each, and tables allocated and freed per
// member would spread the few pages each touches over the heap.
thread_local std::unique_ptr<std::uint32_t[]> spareRing;
thread_local std::vector<std::uint32_t> spareHeads;

}  // namespace

MatchFinder::MatchFinder()
    : head_(std::move(spareHeads)),
      older_(spareRing ? std::move(spareRing)
                       : std::make_unique_for_overwrite<std::uint32_t[]>(2 * kRing)) {}

MatchFinder::~MatchFinder() {
  if (!spareRing) {
    spareRing = std::move(older_);
    spareHeads = std::move(head_);
  }
}

void MatchFinder::Reset(const std::uint8_t* buffer, int hashBits, std::uint32_t from,
                        std::uint32_t start, std::uint32_t end) {
  buffer_ = buffer;
  end_ = end;
  const int bits = std::min(hashBits, kHashBits);
  const int bits3 = std::min(hashBits, kHash3Bits);
  shift_ = static_cast<std::uint8_t>(64 - bits);
  shift3_ = static_cast<std::uint8_t>(64 - bits3);
  head_.assign(2 * (std::size_t{1} << bits) + (std::size_t{1} << bits3), 0);
  head4_ = head_.data();
  head8_ = head4_ + (std::size_t{1} << bits);
  head3_ = head8_ + (std::size_t{1} << bits);
  failed_ = {};
  for (std::uint32_t p = from; p < std::min(start + kAhead, end); ++p) Chain(p);
  for (std::uint32_t p = from; p < start; ++p) AddThree(p);
}

Match MatchFinder::Find(std::uint32_t cur, std::uint32_t least, std::uint32_t most) {
  const std::uint8_t* const current = buffer_ + cur;
  Match best = least == kMinMatch ? FindThree(cur) : Match{};
  // The length a candidate must reach to count.
  std::uint32_t want = std::max(least, kLeastWalked);
  // Each longer match found starts a walk of the chain of the new key,
  // which holds fewer candidates; kMaxChain candidates in all.
  std::uint32_t skew = 0;
  std::uint32_t node = 0;
  const std::uint32_t* older = nullptr;
  const auto walk = [&] {
    const bool eight = want >= 8;
    skew = want - (eight ? 8 : 4);
    node = cur + skew;
    older = older_.get() + (eight ? kRing : 0);
  };
  walk();
  // The candidates the current walk passed began at depth `walked`; the
  // most bytes any had in common up to the last one wanted.
  std::uint32_t walked = 0;
  std::uint32_t common = 0;
  std::uint32_t depth = 0;
  for (; want <= most && depth < kMaxChain; ++depth) {
    node = older[node & kRingMask];
    const std::uint32_t source = node - skew;
    const std::uint32_t distance = cur - source;
    if (distance > kWindowSize) break;  // also the end of a chain
    const std::uint8_t* const candidate = buffer_ + source;
    // Compared from the last byte wanted back: a candidate has the key's
    // bytes there, and differs before them if anywhere.
    const std::uint32_t same = CommonSuffix(candidate + want - 1, current + want - 1, want);
    if (same == want && source % kWindowSize != 0) {
      best = {CommonLength(candidate, current, most), distance};
      want = best.length + 1;
      walk();
      walked = depth + 1;
      common = 0;
    } else {
      common = std::max(common, same);
    }
  }
  // A walk that failed having passed every candidate of its chain that a
  // later walk from the same node would pass.
  if (want <= most && (depth < kMaxChain || walked == 0)) failed_ = {cur + skew, want >= 8, common};
  return best;
}

}  // namespace qev
