// The commands x and t.
#pragma once

#include <string>

#include "name_pool.h"
#include "ops/report.h"

namespace qev {

// Extracts the archive's members into the current directory. Says nothing
// at all when the path cannot be opened or holds no archive whose index
// can be read. filter, when not null, selects entries by NameMatches. The
// path "-" reads standard input (OpenArchiveToRead): from a pipe, members
// come from the streams decoded as they passed (PassingStreams) where their
// entries take them so, else from the streams kept.
void ExtractArchive(const std::string& archivePath, const NameList* filter, Report& report);

// Tests the archive's members as extraction would write them, writing
// nothing: each selected member's verdict is kChecksumError (a format with
// checksums, whose stream's sum differs from the stored one), else
// kSizeError (it decodes to another length than the entry's size), else
// kOk; the total counts the members that passed.
void TestArchive(const std::string& archivePath, const NameList* filter, Report& report);

}  // namespace qev
