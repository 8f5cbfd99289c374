#include "formats/format3.h"

namespace qev {
bool ReadFormat3Index(const std::string&, std::vector<Format3Entry>& entries, Format3Header*) {
  entries.clear();
  return false;
}
void EncodeFormat3Table(const std::vector<Format3Entry>&, BitWriter&) {}
void EncodeFormat3Header(std::uint32_t, std::uint32_t, BitWriter&) {}
}  // namespace qev
