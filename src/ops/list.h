// The command l.
#pragma once

#include <string>

#include "name_pool.h"
#include "ops/report.h"

namespace qev {

// Lists the archive. Says nothing at all when the path cannot be opened or
// holds no archive whose index can be read. filter, when not null, selects
// entries by NameMatches. The path "-" reads standard input, passing the
// member streams of a pipe over (OpenArchiveToRead).
void ListArchive(const std::string& archivePath, const NameList* filter, Report& report);

}  // namespace qev
