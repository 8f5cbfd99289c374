// Feeds arbitrary bytes to the LZSS codec and checks it against the
// bit-at-a-time codec: as a stream, both decoders give the same bytes and
// checksum, within the most a stream of that size can produce; as plain
// data, both encoders give the same stream and checksum, which decodes back
// to the data.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "coding/lzss.h"
#include "coding/lzss_reference.h"

namespace {

void Check(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "lzss_decode_fuzz: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const qev::ByteBuffer input(data, data + size);

  qev::ByteBuffer fast;
  qev::ByteBuffer simple;
  const std::uint32_t fastSum = qev::LzssDecode(input, fast);
  const std::uint32_t simpleSum = qev::LzssDecodeReference(input, simple);
  Check(fast == simple, "decoders disagree on the output");
  Check(fastSum == simpleSum, "decoders disagree on the checksum");
  Check(fast.size() <= 8 * size + 18, "output out of proportion to the stream");

  const std::uint32_t storedSum = qev::LzssStore(input, fast);
  const std::uint32_t simpleStoredSum = qev::LzssStoreReference(input, simple);
  Check(fast == simple, "encoders disagree on the stream");
  Check(storedSum == simpleStoredSum, "encoders disagree on the checksum");
  qev::ByteBuffer back;
  Check(qev::LzssDecode(fast, back) == storedSum, "stored stream decodes to another checksum");
  Check(back == input, "stored stream decodes to other bytes");
  return 0;
}
