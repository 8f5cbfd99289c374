#include <new>
#include <vector>

#include "ops/modify.h"
#include "ops/rewrite.h"
#include "ops/select.h"

namespace qev {

void DeleteFromArchive(const std::string& archivePath, const NameList& names, Report& report) {
  ArchiveToModify target;
  switch (OpenForModify(archivePath, target, report)) {
    case ModifyOpen::kMissing:
      report.Line("cannot open the archive", true);
      return;
    case ModifyOpen::kRefused:
      return;
    case ModifyOpen::kOpened:
      break;
  }
  const ArchiveIndex& index = target.archive.index;
  std::vector<NewMember> kept;
  std::vector<std::uint32_t> removed;
  std::vector<bool> found;
  try {
    found.assign(names.size(), false);
    kept.reserve(index.entries.size());
    for (std::size_t e = 0; e < index.entries.size(); ++e) {
      bool selected = false;
      for (std::size_t k = 0; k < names.size(); ++k) {
        if (NameMatches(index.Name(index.entries[e]), names[k])) selected = found[k] = true;
      }
      if (selected) {
        removed.push_back(static_cast<std::uint32_t>(e));
      } else {
        kept.push_back({false, static_cast<std::uint32_t>(e)});
      }
    }
  } catch (const std::bad_alloc&) {
    LeftAsItIs(report, "out of memory");
    return;
  }
  // When no name matched, nothing changes, and the archive is not rewritten.
  if (!removed.empty() && !RewriteArchive(target, kept, NameList(), report)) return;
  for (const std::uint32_t e : removed) {
    report.Member(index.Name(index.entries[e]));
    report.Said(Verdict::kDeleted);
  }
  for (std::size_t k = 0; k < names.size(); ++k) {
    if (found[k]) continue;
    report.Member(names[k]);
    report.Said(Verdict::kNotFound);
  }
  report.Created(static_cast<std::uint32_t>(kept.size()));
}

}  // namespace qev
