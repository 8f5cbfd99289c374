#include "ops/list.h"

namespace qev {
void ListArchive(ArchiveFormat, const std::string&, const NameList*) {}
}  // namespace qev
