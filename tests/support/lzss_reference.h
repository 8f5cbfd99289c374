// The bit-at-a-time codec from the grammar alone: the fast codec's oracle.
#pragma once

#include <cstdint>
#include <vector>

namespace qev {

// How the stream ended: its bits, stored or not, zero-filled, unwritten reads.
struct EndingReference {
  std::uint64_t bits = 0;
  bool stored = false, zeroFill = false;
  std::uint32_t zeroReads = 0;
  bool operator==(const EndingReference&) const = default;
};

// Decodes input (then zero bits); returns the sum of the input bytes read.
std::uint32_t LzssDecodeReference(const std::vector<std::uint8_t>& input,
                                  std::vector<std::uint8_t>& output);
// The same, saying how the stream ended.
std::uint32_t LzssDecodeEndingReference(const std::vector<std::uint8_t>& input,
                                        std::vector<std::uint8_t>& output, EndingReference& ending);
// Stores input as literals into output, emptied first; returns its byte sum.
std::uint32_t LzssStoreReference(const std::vector<std::uint8_t>& input,
                                 std::vector<std::uint8_t>& output);

}  // namespace qev
