// What a and d share: the archive opened for a change, and its rewrite. The
// new archive is written beside the old one under a temporary name, flushed
// to disk, and takes the old one's name only when it is whole; whatever
// fails, the old archive stays as it was and the temporary file goes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "name_pool.h"
#include "ops/open_archive.h"
#include "ops/report.h"

namespace qev {

struct ArchiveToModify {
  std::string path;  // the archive itself: symbolic links followed
  OpenArchive archive;
};

enum class ModifyOpen {
  kOpened,   // the archive is open, its index read, its extents fit together
  kMissing,  // nothing stands at the path
  kRefused,  // a line has said why the archive is left as it is
};

// Opens the archive at path for a change. Refused: a path that cannot be
// opened, a file that is not an archive, an index that cannot be read or
// whose extents do not fit together (every stream beginning where the one
// before it ends, the first right after the header, the last before the
// table), an archive of 4 GiB or more, and one this process may not write.
ModifyOpen OpenForModify(const std::string& path, ArchiveToModify& target, Report& report);

// One member of the new archive: entry `index` of the old index, copied,
// or file `index` of the list of files, stored as z3 and z4 store it.
struct NewMember {
  bool store = false;
  std::uint32_t index = 0;
};

// Writes the archive that members describe, in their order, in place of
// the old one. Stored files' lines are reported as creation reports them.
// False, after a line that says why, when the old archive stays.
bool RewriteArchive(ArchiveToModify& target, const std::vector<NewMember>& members,
                    const NameList& files, Report& report);

// Reports a failure that leaves the archive as it was.
void LeftAsItIs(Report& report, std::string_view why);

}  // namespace qev
