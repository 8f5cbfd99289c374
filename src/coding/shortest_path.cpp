// Since a reference costs 18 bits whatever its length and a literal 9, and
// every shorter length of a match is a match as well, the shortest stream
// is a shortest path over the input positions once the longest match at
// each position is known: walking the block backwards gives the cheapest
// way to its end from each position.
#include "coding/shortest_path.h"

#include <algorithm>

#include "coding/lzss_stream.h"

namespace qev {
namespace {

using lzss::kLiteralBits;
using lzss::kMaxMatch;
using lzss::kMinMatch;
using lzss::kReferenceBits;

}  // namespace

void ShortestPath(std::uint8_t* steps, std::size_t length) {
  // The cost to the end from the next 32 offsets, and the least of every 2,
  // 4 and 8 of them from each: the least cost over any 1 to 16 offsets is
  // the lesser of two such overlapping spans. A reference of 3 to L bytes
  // ends at offsets i + 3 to i + L, L - 2 <= 16 of them.
  constexpr std::size_t kRing = 32;
  static_assert(kMaxMatch - kMinMatch + 1 <= 16 && kMaxMatch < kRing);
  std::uint32_t cost[kRing] = {};
  std::uint32_t least2[kRing] = {};
  std::uint32_t least4[kRing] = {};
  std::uint32_t least8[kRing] = {};
  const auto at = [](std::size_t i) { return i % kRing; };
  const auto least = [&](std::size_t from, std::size_t count) {
    if (count >= 8) return std::min(least8[at(from)], least8[at(from + count - 8)]);
    if (count >= 4) return std::min(least4[at(from)], least4[at(from + count - 4)]);
    if (count >= 2) return std::min(least2[at(from)], least2[at(from + count - 2)]);
    return cost[at(from)];
  };
  // Offsets at or past the end cost nothing more.
  for (std::size_t i = length; i-- > 0;) {
    std::uint32_t best = cost[at(i + 1)] + kLiteralBits;
    std::uint8_t step = 1;
    const std::uint32_t longest = steps[i];
    if (longest >= kMinMatch) {
      const std::uint32_t rest = least(i + kMinMatch, longest - kMinMatch + 1);
      if (rest + kReferenceBits <= best) {
        best = rest + kReferenceBits;
        // The longest reference to the least cost, which makes fewer tokens
        // to decode.
        step = static_cast<std::uint8_t>(longest);
        while (cost[at(i + step)] != rest) --step;
      }
    }
    cost[at(i)] = best;
    least2[at(i)] = std::min(best, cost[at(i + 1)]);
    least4[at(i)] = std::min(least2[at(i)], least2[at(i + 2)]);
    least8[at(i)] = std::min(least4[at(i)], least4[at(i + 4)]);
    steps[i] = step;
  }
}

}  // namespace qev
