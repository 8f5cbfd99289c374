// The command x.
#pragma once

#include <string>

#include "types.h"

namespace qev {

// Extracts the archive's members into the current directory when it is of
// the given format; prints nothing at all otherwise. filter, when not null,
// selects entries by NameMatches.
void ExtractArchive(ArchiveFormat format, const std::string& archivePath, const NameList* filter);

}  // namespace qev
