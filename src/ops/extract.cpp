#include "ops/extract.h"

namespace qev {
void ExtractArchive(ArchiveFormat, const std::string&, const NameList*) {}
}  // namespace qev
