// Stores arbitrary bytes as an LZSS stream with the fast encoder and the
// bit-at-a-time one: both give the same stream and checksum, and the stream
// decodes back to the bytes with that checksum.
#include <cstddef>
#include <cstdint>

#include "check.h"
#include "coding/lzss.h"
#include "coding/lzss_stream.h"
#include "support/lzss_reference.h"

using qev::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const qev::ByteBuffer input(data, data + size);
  qev::ByteBuffer fast{0xEE};  // both encoders must empty their output first
  qev::ByteBuffer simple{0xEE};
  const std::uint32_t fastSum = qev::LzssStore(input, fast);
  const std::uint32_t simpleSum = qev::LzssStoreReference(input, simple);
  Check(fast == simple, "encoders disagree on the stream");
  Check(fastSum == simpleSum, "encoders disagree on the checksum");
  Check(fast.size() == qev::lzss::StoredStreamLength(size), "stream of the wrong length");

  qev::ByteBuffer back;
  Check(qev::LzssDecode(fast, back) == fastSum, "stream decodes to another checksum");
  Check(back == input, "stream decodes to other bytes");
  return 0;
}
