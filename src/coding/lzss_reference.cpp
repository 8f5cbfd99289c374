#include "coding/lzss_reference.h"

namespace qev {
std::uint32_t LzssDecodeReference(const ByteBuffer&, ByteBuffer& output) {
  output.clear();
  return 0;
}
std::uint32_t LzssStoreReference(const ByteBuffer&, ByteBuffer& output) {
  output.clear();
  return 0;
}
}  // namespace qev
