// The parse of one block, in two steps: the longest match (capped at 18
// bytes) at every position, exactly; then the cheapest way to the block's
// end from each position, which for these token costs is the shortest
// stream.
#include "coding/block_parser.h"

#include "coding/shortest_path.h"

namespace qev {

void BlockParser::Parse(const std::uint8_t* buffer, std::uint32_t start, std::uint32_t length,
                        std::uint32_t end, bool first, int hashBits) {
  if (step_.size() < length) {
    step_.resize(length);
    distance_.resize(length);
  }
  finder_.FindLongest(buffer, start, length, end, first, hashBits, step_.data(), distance_.data());
  ShortestPath(step_.data(), length);
}

}  // namespace qev
