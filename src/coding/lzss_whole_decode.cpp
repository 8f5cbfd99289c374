// Decoding a whole stream into one buffer, the caller's: LzssDecoder's
// DecodeWhole writes straight into it, so that the output is not copied,
// and this file only sizes the buffer ahead of the decoder.
//
// The buffer is sized ahead of the decoder in steps of kSizeStep
// (zero-filled, so each step touches memory, and only as far as the output
// has come) and cut back to the bytes actually produced at the end. Its
// capacity grows geometrically, never past the most a stream of this input
// size can produce, and only when the output outgrows it: a buffer reserved
// to the output's size is never reallocated. While the room left is less
// than a fast step takes, the decoder goes one token at a time.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "coding/lzss_decoder.h"
#include "coding/lzss_stream.h"

namespace qev {
namespace {

constexpr std::size_t kMargin = LzssDecoder::kFastRoom;
constexpr std::size_t kSizeStep = 1 << 20;

struct OutputRoom {
  ByteBuffer& buffer;
  std::size_t ceiling;  // never size the buffer beyond this
  std::uint8_t* base = nullptr;
  std::size_t limit = 0;

  // Gives at least kMargin bytes of room past `produced` if the capacity
  // allows it.
  bool ExtendForFastSteps(std::size_t produced) {
    if (std::min(buffer.capacity(), ceiling) < produced + kMargin) return false;
    Extend(produced + kMargin);
    return true;
  }

  // Gives room for `count` more bytes past `produced`, reallocating if need
  // be.
  void Ensure(std::size_t produced, std::size_t count) {
    if (produced + count <= limit) return;
    if (produced + count > buffer.capacity()) {
      buffer.reserve(
          std::min(std::max({produced + count, 2 * buffer.capacity(), kSizeStep}), ceiling));
    }
    Extend(produced + count);
  }

  // Sizes the buffer to at least `needed` (within the capacity), a whole
  // step ahead where the capacity allows.
  void Extend(std::size_t needed) {
    limit = std::min({std::max(needed, limit + kSizeStep), buffer.capacity(), ceiling});
    buffer.resize(limit);
    base = buffer.data();
  }
};

}  // namespace

std::uint32_t LzssDecode(const ByteBuffer& input, ByteBuffer& output) {
  return LzssDecodeBytes(input.data(), input.size(), output);
}

std::uint32_t LzssDecodeBytes(const std::uint8_t* const in, const std::size_t size,
                              ByteBuffer& output) {
  output.clear();
  // Never more than the stream can produce and a fast step's room past it.
  OutputRoom room{output, static_cast<std::size_t>(lzss::MaxDecodedLength(size)) + kMargin};
  LzssDecoder decoder;
  std::size_t n = 0;
  while (!decoder.DecodeWhole(in, size, room.base, n, room.limit)) {
    if (room.ExtendForFastSteps(n)) continue;
    if (room.limit < std::min(output.capacity(), room.ceiling)) {
      room.Extend(room.limit + 1);
    } else {
      room.Ensure(n, kMargin);
    }
  }
  output.resize(n);
  return decoder.Checksum();
}

}  // namespace qev
