#include "ops/create.h"

namespace qev {
void CreateArchive(ArchiveFormat, const std::string&, const NameList&) {}
}  // namespace qev
