#include <new>
#include <string>
#include <vector>

#include "io/path.h"
#include "ops/create.h"
#include "ops/modify.h"
#include "ops/rewrite.h"
#include "ops/select.h"

namespace qev {
namespace {

// The new archive's members in order: each old member in its place, or in
// its place the file of its name (a later member of that name is dropped),
// then the files that match no member, in the order given. Of files with
// one name only the last counts, as if each were added by a run of its own.
std::vector<NewMember> PlanAdd(const ArchiveIndex& index, const NameList& files) {
  std::vector<std::string> bare;
  bare.reserve(files.size());
  for (const std::string_view path : files) bare.push_back(BareName(std::string(path)));
  std::vector<bool> counts(files.size(), true);
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = i + 1; j < files.size() && counts[i]; ++j) {
      if (NameMatches(bare[i], bare[j])) counts[i] = false;
    }
  }
  std::vector<bool> placed(files.size(), false);
  std::vector<NewMember> members;
  members.reserve(index.entries.size() + files.size());
  for (std::size_t e = 0; e < index.entries.size(); ++e) {
    const std::string_view name = index.Name(index.entries[e]);
    std::size_t file = 0;
    while (file < files.size() && !(counts[file] && NameMatches(name, bare[file]))) ++file;
    if (file == files.size()) {
      members.push_back({false, static_cast<std::uint32_t>(e)});
    } else if (!placed[file]) {
      placed[file] = true;
      members.push_back({true, static_cast<std::uint32_t>(file)});
    }
  }
  for (std::size_t file = 0; file < files.size(); ++file) {
    if (counts[file] && !placed[file]) members.push_back({true, static_cast<std::uint32_t>(file)});
  }
  return members;
}

}  // namespace

void AddToArchive(const std::string& archivePath, const NameList& files, Report& report) {
  ArchiveToModify target;
  switch (OpenForModify(archivePath, target, report)) {
    case ModifyOpen::kMissing:
      // Format 3 keeps times and checksums, so that t finds damage.
      CreateArchive(*FormatForDigit('3'), archivePath, files, true, report);
      return;
    case ModifyOpen::kRefused:
      return;
    case ModifyOpen::kOpened:
      break;
  }
  std::vector<NewMember> members;
  try {
    members = PlanAdd(target.archive.index, files);
  } catch (const std::bad_alloc&) {
    LeftAsItIs(report, "out of memory");
    return;
  }
  // Without files nothing changes, and the archive is not rewritten.
  if (!files.empty() && !RewriteArchive(target, members, files, report)) return;
  report.Created(static_cast<std::uint32_t>(members.size()));
}

}  // namespace qev
