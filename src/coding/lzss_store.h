// Storing bytes as an LZSS member stream of literals only (see
// lzss_stream.h): lzss::StoredStreamLength(n) bytes for n input bytes,
// which is the bound every encoder of qev keeps to.
#pragma once

#include <cstddef>
#include <cstdint>

#include "types.h"

namespace qev {

// Encodes input that arrives in pieces as literals only, then the end
// marker. Its bytes and checksum are those of LzssStore for all the
// pieces together, wherever they fall.
class LzssStoreEncoder {
 public:
  // Appends to out (not emptied) the stream bytes that `size` more input
  // bytes complete; up to 7 input bytes wait for the next call.
  void Put(const std::uint8_t* data, std::size_t size, ByteBuffer& out);
  // Appends the waiting literals, the end marker and the zero-filled last
  // byte. Returns the sum (mod 2^32) of every stream byte appended.
  std::uint32_t Finish(ByteBuffer& out);

 private:
  std::uint8_t held_[8] = {};
  std::size_t heldSize_ = 0;
  std::uint32_t checksum_ = 0;
};

// Encodes input as literals only, then the end marker, into output
// (emptied first): lzss::StoredStreamLength(n) bytes. Returns the sum
// (mod 2^32) of the output bytes.
std::uint32_t LzssStore(const ByteBuffer& input, ByteBuffer& output);

}  // namespace qev
