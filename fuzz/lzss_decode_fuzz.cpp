// Decodes arbitrary bytes as an LZSS stream with the fast decoder and the
// bit-at-a-time one: both give the same bytes and checksum, within the most
// a stream of that size can produce.
#include <cstddef>
#include <cstdint>

#include "check.h"
#include "coding/lzss.h"
#include "coding/lzss_reference.h"

using qev::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const qev::ByteBuffer input(data, data + size);
  qev::ByteBuffer fast{0xEE};  // both decoders must empty their output first
  qev::ByteBuffer simple{0xEE};
  const std::uint32_t fastSum = qev::LzssDecode(input, fast);
  const std::uint32_t simpleSum = qev::LzssDecodeReference(input, simple);
  Check(fast == simple, "decoders disagree on the output");
  Check(fastSum == simpleSum, "decoders disagree on the checksum");
  Check(fast.size() <= 8 * size + 18, "output out of proportion to the stream");
  return 0;
}
