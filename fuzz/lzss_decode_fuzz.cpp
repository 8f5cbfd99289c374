// Decodes arbitrary bytes as an LZSS stream with the fast decoder and the
// bit-at-a-time one: both give the same bytes and checksum, within the most
// a stream of that size can produce. The fast decoder runs three times: into
// an empty buffer, into one reserved to exactly the decoded size (as for a
// sound member), which it must not reallocate, and into one reserved to a
// size that the input's last byte picks (as for a damaged stored size).
#include <cstddef>
#include <cstdint>

#include "check.h"
#include "coding/lzss.h"
#include "coding/lzss_stream.h"
#include "support/lzss_reference.h"

using qev::fuzz::Check;

namespace {

void CheckFast(const qev::ByteBuffer& input, std::size_t reserved, const qev::ByteBuffer& expected,
               std::uint32_t expectedSum) {
  qev::ByteBuffer fast{0xEE};  // the decoder must empty its output first
  fast.reserve(reserved);
  const std::uint8_t* const storage = fast.data();
  const bool fits = fast.capacity() >= expected.size();
  Check(qev::LzssDecode(input, fast) == expectedSum, "decoders disagree on the checksum");
  Check(fast == expected, "decoders disagree on the output");
  Check(!fits || fast.data() == storage, "an output with room enough was reallocated");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const qev::ByteBuffer input(data, data + size);
  qev::ByteBuffer simple{0xEE};
  const std::uint32_t simpleSum = qev::LzssDecodeReference(input, simple);
  Check(simple.size() <= qev::lzss::MaxDecodedLength(size),
        "output out of proportion to the stream");

  CheckFast(input, 0, simple, simpleSum);
  CheckFast(input, simple.size(), simple, simpleSum);
  if (size > 0) CheckFast(input, simple.size() * data[size - 1] / 256, simple, simpleSum);
  return 0;
}
