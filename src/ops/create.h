// The commands c3, c4, z3 and z4.
#pragma once

#include <string>

#include "formats/archive.h"
#include "name_pool.h"
#include "ops/report.h"

namespace qev {

// Builds a new archive of the given format at archivePath from the files
// that names lists, in order. With compress (z3, z4) the member streams,
// and a table kept as a stream, use back-references wherever they make
// them shorter; everything else is as without.
void CreateArchive(const ArchiveFormat& format, const std::string& archivePath,
                   const NameList& names, bool compress, Report& report);

// The same, written to standard output: nothing goes out unless the whole
// archive does (it is made first in a scratch file of the size of the
// archive), and standard output must not be a terminal.
void CreateArchiveToOutput(const ArchiveFormat& format, const NameList& names, bool compress,
                           Report& report);

}  // namespace qev
