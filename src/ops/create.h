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

// The same, written to standard output, which must not be a terminal.
// Stored members (c3, c4) go straight out behind a header computed ahead
// from the files' sizes; nothing goes out unless every file opens with a
// size that fits, and a file that fails after that leaves a cut archive
// with no table. Compressed ones are made whole first in a scratch file of
// the archive's size: nothing goes out unless the whole archive does.
void CreateArchiveToOutput(const ArchiveFormat& format, const NameList& names, bool compress,
                           Report& report);

}  // namespace qev
