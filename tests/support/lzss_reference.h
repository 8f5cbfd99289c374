// The bit-at-a-time LZSS codec, from the stream's grammar apart from src/:
// the oracle the fast codec must match, bytes and checksum.
#pragma once

#include <cstdint>
#include <vector>

namespace qev {

// How the stream ended: the bits through its end marker, whether they lay in
// the input, whether the bits after them to the byte boundary are zero
// there, and how many references started at a window position not yet
// written.
struct EndingReference {
  std::uint64_t bits = 0;
  bool stored = false, zeroFill = false;
  std::uint32_t zeroReads = 0;
  bool operator==(const EndingReference&) const = default;
};

// Decodes input (past its end, zero bits) into output, emptied first; returns
// the sum (mod 2^32) of the input bytes read at least in part.
std::uint32_t LzssDecodeReference(const std::vector<std::uint8_t>& input,
                                  std::vector<std::uint8_t>& output);
// The same, saying how the stream ended.
std::uint32_t LzssDecodeEndingReference(const std::vector<std::uint8_t>& input,
                                        std::vector<std::uint8_t>& output, EndingReference& ending);
// Stores input as literals into output, emptied first; returns its byte sum.
std::uint32_t LzssStoreReference(const std::vector<std::uint8_t>& input,
                                 std::vector<std::uint8_t>& output);

}  // namespace qev
