// The parse of one block: the shortest stream for the token costs, found
// in one pass forward over the block that searches for matches only where
// a match can make the stream shorter.
//
// Costs count in units of 9 bits: a literal costs 1, a reference of 3 to 18
// bytes 2, whatever its length. The pass keeps the least cost of reaching
// each of the next 18 offsets by a reference from the offsets before (their
// reach), so the cost of an offset is final when the pass gets there: the
// lesser of a literal after the offset before and its reach. From offset o
// at cost c, a reference reaches o + 3 to o + L at c + 2, where L is the
// longest match at o; shorter references are matches as well.
//
// The reaches in three masks. Costs never fall from one offset to the next,
// and a reference from before o that reaches past o cost at most c + 2, so
// each reach ahead of o is c, c + 1, c + 2 or none; one bit per offset in
// each of three masks tells which (`level`, `near`, `reached`: at most c,
// c + 1, c + 2). Moving on by a literal's cost lowers every reach by one
// relative to the new cost: near becomes level and reached near. Since no
// reach ahead is less than c + 2 by a later reference, the first reference
// that reaches an offset is the one its reach stays with.
//
// Where it searches. The references from earlier offsets that reach past
// o + 2 cover o + 3 onwards up to where they end, so reach is nondecreasing
// from o + 2 on. An offset j is worth reaching from o only where c + 2 is
// less than both reach(j) and reach(j - 1) + 1 (a literal after j - 1): j
// is reached by none, and j - 1 by none at less than c + 2. The offsets
// worth it are a suffix of o + 3..o + 18, and none where the last is not.
// A match of 4 bytes or more at o - 1 continues at o with the same
// distance, one byte shorter at least; it is extended first (a few word
// comparisons), and the chains are searched only for matches longer than
// it that reach an offset worth it. Where a match of 18 bytes runs on, no
// search is made at all. No search skipped can shorten the stream: the
// offsets a match from there could reach are reached at no more cost
// already. Nor does a search whose chain is empty or whose walk the finder
// knows to fail (match_finder.h).
#include "coding/block_parser.h"

#include <algorithm>
#include <cstring>

namespace qev {
namespace {

using lzss::kMaxMatch;
using lzss::kMinMatch;
using lzss::kWindowSize;

// Masks: bit k - 1 for offset o + k, k = 1..18.
static_assert(kMaxMatch < 32);
// The offsets a reference from o reaches, o + 3 onwards, up to o + length.
constexpr std::uint32_t Reaches(std::uint32_t length) {
  return ((std::uint32_t{1} << length) - 1) & ~((std::uint32_t{1} << (kMinMatch - 1)) - 1);
}
// Per offset k ahead, k: a reference writes 16 of them from the first
// offset it reaches first, whatever lies past its last one. No step is read
// before the pass has passed it, and each offset it passes was written
// last by a literal or by the reference that reached it first.
constexpr std::uint8_t kStepsAhead[kMaxMatch + 16] = {
    0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
    17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33};
// The steps past a block's end that those 16 may reach.
constexpr std::size_t kStepSlack = 16;

}  // namespace

void BlockParser::Parse(const std::uint8_t* buffer, std::uint32_t start, std::uint32_t length,
                        bool first, int hashBits) {
  if (step_.size() < length + kStepSlack) {
    step_.resize(length + kStepSlack);
    distance_.resize(length + 1);
  }
  // The history: the window's initial zeros, whose newest 18 stand for all
  // the older ones, or the 8 KiB before the block.
  finder_.Reset(buffer, hashBits, first ? start - kMaxMatch - 1 : start - kWindowSize, start,
                start + length);
  const std::uint8_t* const data = buffer + start;
  std::uint8_t* const steps = step_.data();
  std::uint16_t* const distances = distance_.data();
  // The reaches of o + 1..o + 18 (see above), relative to the cost of o.
  std::uint32_t level = 0;
  std::uint32_t near = 0;
  std::uint32_t reached = 0;
  std::uint32_t distance = 0;  // of the last match taken
  // The length of the match at distance `distance` at the offset before,
  // 0 where there was none of 4 bytes, and the most it could have been
  // (18 inside the block, where it is not kept).
  std::uint32_t carried = 0;
  std::uint32_t cap = 0;
  // Offset o: its cost, then the references from it. `kInside`: 18 bytes
  // and the chains' kAhead more follow.
  const auto pass = [&]<bool kInside>(std::uint32_t o) {
    if (kInside || o > 0) {
      // Offset o costs one more than o - 1 unless a reference reaches it
      // at the same cost; a literal, unless one reaches it at one more.
      const bool dearer = (level & 1) == 0;
      if ((near & 1) == 0) steps[o] = 1;
      reached >>= 1;
      near >>= 1;
      level >>= 1;
      if (dearer) {
        level = near;
        near = reached;
      }
    }
    if (!kInside && o == length) return;
    const std::uint32_t most = kInside ? kMaxMatch : std::min(kMaxMatch, length - o);
    if (kInside || most >= kMinMatch) {
      Match match;
      if (carried > kMinMatch && (start + o - distance) % kWindowSize != 0) {
        // A match at o - 1 that ended before its cap is one byte shorter
        // here; one that reached its cap may run on.
        std::uint32_t known = carried - 1;
        if (known + 1 == (kInside ? kMaxMatch : cap)) {
          // Inside the block the cap is 18: one more byte.
          if (kInside)
            known += *(data + o + known - distance) == data[o + known];
          else
            known += CommonLength(data + o - distance + known, data + o + known, most - known);
        }
        match = {known, distance};
      }
      // The offsets o + k worth reaching, at bit k - 1: none reaches them,
      // nor the offset before at less than the cost of o plus 2.
      const std::uint32_t worth = ~reached & ~(near << 1) & Reaches(most);
      if (match.length < most && (worth >> (most - 1)) != 0) {
        const auto least =
            std::max(match.length + 1, static_cast<std::uint32_t>(__builtin_ctz(worth)) + 1);
        const std::uint32_t longer = std::max(least, MatchFinder::kLeastWalked);
        if (least == kMinMatch && !finder_.AnyThree(start + o)) {
          // No source in the window has its 3 bytes: no match at all.
        } else if (finder_.MayFind(start + o, longer)) {
          const Match found = finder_.Find(start + o, least, most);
          if (found.length != 0) match = found;
        } else if (least == kMinMatch) {
          const Match found = finder_.FindThree(start + o);
          if (found.length != 0) match = found;
        }
      }
      carried = match.length > kMinMatch ? match.length : 0;
      if (!kInside) cap = most;
      if (match.length >= kMinMatch) {
        distance = match.distance;
        // The offsets no reference reached yet, a suffix of those it reaches.
        const std::uint32_t claimed = Reaches(match.length) & ~reached;
        if (claimed != 0) {
          reached |= claimed;
          distances[o] = static_cast<std::uint16_t>(distance);
          const auto k = static_cast<std::uint32_t>(__builtin_ctz(claimed)) + 1;
          std::memcpy(steps + o + k, kStepsAhead + k, 16);
        }
      }
    }
    if (kInside)
      finder_.ChainAhead(start + o);
    else
      finder_.Advance(start + o);
  };
  // steps[j], until the walk back below: the length of the token that
  // reaches offset j at its least cost.
  const std::uint32_t inside =
      length > kMaxMatch + MatchFinder::kAhead ? length - kMaxMatch - MatchFinder::kAhead : 0;
  std::uint32_t o = 0;
  // The first offset, which has none before it, runs as those near the end
  // do, so that those inside need no check for either; the cap it leaves
  // is 18, as inside.
  if (inside > 0) {
    pass.operator()<false>(0);
    o = 1;
  }
  for (; o < inside; ++o) pass.operator()<true>(o);
  for (; o <= length; ++o) pass.operator()<false>(o);
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
