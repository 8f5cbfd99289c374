// The commands x and t.
#pragma once

#include <string>

#include "types.h"

namespace qev {

// Extracts the archive's members into the current directory when it is of
// the given format; prints nothing at all otherwise. filter, when not null,
// selects entries by NameMatches.
void ExtractArchive(ArchiveFormat format, const std::string& archivePath, const NameList* filter);

// Tests the archive's members as extraction would write them, writing
// nothing: each selected member's line ends in " ...checksum error"
// (format 3, the stream's sum differs from the stored one), else
// " ...size error" (it decodes to another length than the entry's size),
// else " ...OK"; the total counts the members that passed.
void TestArchive(ArchiveFormat format, const std::string& archivePath, const NameList* filter);

}  // namespace qev
