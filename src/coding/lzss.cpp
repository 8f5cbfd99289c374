#include "coding/lzss.h"

namespace qev {
std::uint32_t LzssDecode(const ByteBuffer&, ByteBuffer& output) {
  output.clear();
  return 0;
}
std::uint32_t LzssStore(const ByteBuffer&, ByteBuffer& output) {
  output.clear();
  return 0;
}
}  // namespace qev
