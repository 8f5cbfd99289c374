// The bit-at-a-time LZSS codec, written straight from the stream grammar
// through BitReader and BitWriter. It is the oracle that the fast codec in
// lzss.cpp must match byte for byte, checksum for checksum.
#pragma once

#include <cstdint>

#include "types.h"

namespace qev {

std::uint32_t LzssDecodeReference(const ByteBuffer& input, ByteBuffer& output);
std::uint32_t LzssStoreReference(const ByteBuffer& input, ByteBuffer& output);

}  // namespace qev
