// Compresses arbitrary bytes, whole and in pieces whose sizes the input's
// first byte chooses: the streams agree, decode back with the simple
// decoder to the bytes and the checksum, and are never longer than the
// literal-only stream. An input whose second byte is odd is repeated, each
// copy one byte longer than the last, past the end of the first block.
#include <cstddef>
#include <cstdint>

#include "check.h"
#include "coding/lzss_compress.h"
#include "coding/lzss_stream.h"
#include "support/lzss_reference.h"

using qev::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qev::ByteBuffer input(data, data + size);
  if (size >= 2 && data[1] % 2 == 1) {
    for (std::size_t copy = 1; input.size() <= qev::LzssCompressor::kBlockSize + 20000; ++copy) {
      input.insert(input.end(), data, data + size);
      input.push_back(static_cast<std::uint8_t>(copy));
    }
  }
  data = input.data();
  size = input.size();
  qev::ByteBuffer whole{0xEE};  // the wrapper empties its output first
  const std::uint32_t sum = qev::LzssCompress(input, whole);
  Check(whole.size() <= qev::lzss::StoredStreamLength(size), "longer than the literal-only stream");

  qev::ByteBuffer back;
  Check(qev::LzssDecodeReference(whole, back) == sum, "stream decodes to another checksum");
  Check(back == input, "stream decodes to other bytes");

  const std::size_t piece = size > 0 ? (data[0] % 64 + 1) * (size > 70000 ? 997 : 1) : 1;
  qev::LzssCompressor compressor;
  qev::ByteBuffer pieces;
  for (std::size_t at = 0; at < size; at += piece) {
    compressor.Put(data + at, size - at < piece ? size - at : piece, pieces);
  }
  Check(compressor.Finish(pieces) == sum && pieces == whole, "pieces give another stream");
  return 0;
}
