// The LZSS member stream: literals (flag 1, 8 bits) and references (flag 0,
// 13-bit absolute window position 1..8191, 4-bit length L for L+3 bytes)
// over an 8192-byte window that starts all zero with the write position at
// 1, closed by an end marker (flag 0, position 0).
#pragma once

#include <cstddef>
#include <cstdint>

#include "types.h"

namespace qev {

// Decodes the stream in input into output (emptied first; reserved capacity
// remains, and output reserved to the decoded size is not reallocated).
// Never fails, never reads outside input or writes outside output, never
// loops without end: the end of input reads as zero bits, which form an end
// marker after at most one more token. Bytes after the end marker are never
// read. Output grows with what the stream produces, at most 8 bytes per
// input byte plus 18.
// Returns the sum (mod 2^32) of every input byte from the first through the
// one that holds the end marker's last bit.
std::uint32_t LzssDecode(const ByteBuffer& input, ByteBuffer& output);

// The same, for the stream in the size bytes from input.
std::uint32_t LzssDecodeBytes(const std::uint8_t* input, std::size_t size, ByteBuffer& output);

// Encodes input as literals only, then the end marker, into output
// (emptied first): ceil((9n + 14) / 8) bytes. Returns the sum (mod 2^32) of
// the output bytes.
std::uint32_t LzssStore(const ByteBuffer& input, ByteBuffer& output);

}  // namespace qev
