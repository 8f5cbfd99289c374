// The parse of one block: the shortest stream for the token costs, found
// in one pass forward over the block that searches for matches only where
// a match can make the stream shorter.
//
// Costs count in units of 9 bits: a literal costs 1, a reference of 3 to 18
// bytes 2, whatever its length. The pass keeps the least cost of reaching
// each offset by a reference from the offsets before (`reach`, for the next
// 18 offsets), so the cost of an offset is final when the pass gets there:
// the lesser of a literal after the offset before and its reach. From
// offset o at cost c, a reference reaches o + 3 to o + L at c + 2, where L
// is the longest match at o; shorter references are matches as well.
//
// Where it searches. The references from earlier offsets that reach past
// o + 2 cover o + 3 onwards up to where they end, so reach is nondecreasing
// from o + 2 on. An offset j is worth reaching from o only where c + 2 is
// less than both reach(j) and reach(j - 1) + 1 (a literal after j - 1): the
// offsets worth it are a suffix of o + 3..o + 18, and none where the last
// is not. The match at o - 1 continues at o with the same distance, one
// byte shorter at least; it is extended first (a few word comparisons),
// and the chains are searched only for matches longer than it that reach
// an offset worth it. Where a match of 18 bytes runs on, no search is made
// at all. No search skipped can shorten the stream: the offsets a match
// from there could reach are reached at no more cost already.
#include "coding/block_parser.h"

#include <algorithm>

namespace qev {
namespace {

using lzss::kMaxMatch;
using lzss::kMinMatch;
using lzss::kWindowSize;

constexpr std::uint32_t kLiteralCost = 1;
constexpr std::uint32_t kReferenceCost = 2;
constexpr std::uint32_t kUnreached = 0x7FFFFFFF;
constexpr std::uint32_t kRing = 32;  // > kMaxMatch + 1 offsets ahead
static_assert(kMaxMatch + 1 < kRing);

}  // namespace

void BlockParser::Parse(const std::uint8_t* buffer, std::uint32_t start, std::uint32_t length,
                        bool first, int hashBits) {
  if (step_.size() < length + 1) {
    step_.resize(length + 1);
    distance_.resize(length + 1);
  }
  // The history: the window's initial zeros, whose newest 18 stand for all
  // the older ones, or the 8 KiB before the block.
  finder_.Reset(buffer, hashBits, first ? start - kMaxMatch - 1 : start - kWindowSize, start,
                start + length);
  const std::uint8_t* const data = buffer + start;
  std::uint32_t reach[kRing];
  std::fill(reach, reach + kRing, kUnreached);
  const auto at = [&reach](std::uint32_t offset) -> std::uint32_t& {
    return reach[offset % kRing];
  };
  std::uint8_t* const steps = step_.data();
  std::uint16_t* const distances = distance_.data();
  std::uint32_t cost = 0;      // of offset o
  std::uint32_t distance = 0;  // of the last match taken, 0 for none yet
  // The length of the match at distance `distance` at the offset before,
  // 0 where unknown, and the most it could have been.
  std::uint32_t carried = 0;
  std::uint32_t cap = 0;
  // steps[j], until the walk back below: the length of the token that
  // reaches offset j at its least cost.
  for (std::uint32_t o = 0;; ++o) {
    if (o > 0) {
      if (cost + kLiteralCost < at(o)) {
        cost += kLiteralCost;
        steps[o] = 1;
      } else {
        cost = at(o);
      }
      at(o) = kUnreached;
    }
    if (o == length) break;
    const std::uint32_t most = std::min(kMaxMatch, length - o);
    if (most >= kMinMatch) {
      const std::uint32_t via = cost + kReferenceCost;
      Match match;
      if (distance != 0 && (start + o - distance) % kWindowSize != 0) {
        // A match of 4 bytes or more at o - 1 that ended before its cap is
        // one byte shorter here; one that reached its cap may run on.
        std::uint32_t known = carried > kMinMatch ? carried - 1 : 0;
        if (known + 1 == cap)
          known += CommonLength(data + o - distance + known, data + o + known, most - known);
        else if (known == 0)
          known = CommonLength(data + o - distance, data + o, most);
        match = {known, distance};
      }
      const auto worth = [&](std::uint32_t j) { return via < at(j) && via <= at(j - 1); };
      if (match.length < most && worth(o + most)) {
        std::uint32_t least = std::max(kMinMatch, match.length + 1);
        while (!worth(o + least)) ++least;
        const Match found = finder_.Find(start + o, least, most);
        if (found.length != 0) match = found;
      }
      carried = match.length >= kMinMatch ? match.length : 0;
      cap = most;
      if (match.length >= kMinMatch) {
        distance = match.distance;
        distances[o] = static_cast<std::uint16_t>(distance);
        // reach is nondecreasing: the offsets it lowers lie at the end.
        for (std::uint32_t k = match.length; k >= kMinMatch && via < at(o + k); --k) {
          at(o + k) = via;
          steps[o + k] = static_cast<std::uint8_t>(k);
        }
      }
    }
    finder_.Advance(start + o);
  }
  // Walk back from the end, turning the steps that reach offsets into the
  // steps taken from them.
  std::uint32_t j = length;
  std::uint8_t step = step_[j];
  while (j > 0) {
    const std::uint32_t from = j - step;
    const std::uint8_t before = step_[from];
    step_[from] = step;
    j = from;
    step = before;
  }
}

}  // namespace qev
