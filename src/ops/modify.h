// The commands a and d, which change an archive in place.
#pragma once

#include <string>

#include "name_pool.h"
#include "ops/report.h"

namespace qev {

// Adds the files that files lists to the archive: a file whose bare name
// matches a member's name (by NameMatches) takes the place of the first such
// member, and the others of that name go; the rest are appended in order.
// Of several files of one name the last is stored. Untouched members are
// copied as they are. Where nothing stands at archivePath, creates the
// archive as z3 does.
void AddToArchive(const std::string& archivePath, const NameList& files, Report& report);

// Removes every member whose name matches one of names (by NameMatches);
// a name that matches no member is reported as not found.
void DeleteFromArchive(const std::string& archivePath, const NameList& names, Report& report);

}  // namespace qev
