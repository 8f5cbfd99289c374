#include "formats/format4.h"

namespace qev {
bool ReadFormat4Index(const std::string&, std::vector<Format4Entry>& entries, Format4Header*) {
  entries.clear();
  return false;
}
void BuildFormat4Table(const std::vector<Format4Entry>&, ByteBuffer& table) { table.clear(); }
}  // namespace qev
