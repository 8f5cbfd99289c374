// The commands c3 and c4.
#pragma once

#include <string>

#include "types.h"

namespace qev {

// Builds a new archive of the given format at archivePath from the files
// that names lists, in order.
void CreateArchive(ArchiveFormat format, const std::string& archivePath, const NameList& names);

}  // namespace qev
