// The command l.
#pragma once

#include <string>

#include "types.h"

namespace qev {

// Lists the archive when it is of the given format; prints nothing at all
// otherwise. filter, when not null, selects entries by NameMatches.
void ListArchive(ArchiveFormat format, const std::string& archivePath, const NameList* filter);

}  // namespace qev
