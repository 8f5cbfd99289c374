// The compressor's choice of tokens: the shortest stream for the longest
// matches found.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qev {

// The cheapest way through `length` offsets, given per offset the longest
// reference that starts there (0, or 3 to 18 bytes, none past the end):
// replaces each by the step taken from it, 1 for a literal. Costs are the
// token widths, lzss::kLiteralBits and lzss::kReferenceBits. Where costs
// tie a reference beats a literal and a longer reference a shorter one.
void ShortestPath(std::uint8_t* steps, std::size_t length);

}  // namespace qev
