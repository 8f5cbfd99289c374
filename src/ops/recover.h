// The command r: recovering what a cut, unfinished or damaged archive
// still holds.
#pragma once

#include <string>

#include "name_pool.h"
#include "ops/report.h"

namespace qev {

// Writes into the current directory every member stream found in the
// archive (see PlanRecovery for how they are found), by extraction's rules
// (WriteMember), and never changes the archive. A stream takes the name of
// the table entry whose offset it starts at, else "recovered-N", N being
// its place among the streams found (from 1). Reports the layout and
// whether the table was whole (a failure otherwise), then per selected
// member its verdict: kCutShort for a stream the end of the file cut
// (what it decodes to is written), kChecksumError or kSizeError where the
// entry disagrees with the stream, kOk; then kLost for each selected entry
// whose offset starts no stream found. filter, when not null, selects by
// NameMatches. The path "-" reads standard input, copied whole into a
// scratch file where it is no regular file (OpenArchiveFile).
void RecoverArchive(const std::string& archivePath, const NameList* filter, Report& report);

}  // namespace qev
