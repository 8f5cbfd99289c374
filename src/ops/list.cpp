#include "ops/list.h"

#include <cstdint>

#include "ops/open_archive.h"
#include "ops/select.h"

namespace qev {

void ListArchive(const std::string& archivePath, const NameList* filter, Report& report) {
  OpenArchive archive;
  if (OpenArchiveToRead(archivePath, archive, nullptr) != OpenStatus::kOpened) return;
  const ArchiveIndex& index = archive.index;
  report.Opened(archivePath, archive.format->name,
                static_cast<std::uint32_t>(index.entries.size()));

  const bool hasTimes = archive.format->hasTimes;
  std::uint32_t listed = 0;
  std::uint32_t total = 0;  // wraps modulo 2^32
  for (const Entry& entry : index.entries) {
    const std::string_view name = index.Name(entry);
    if (!IsSelected(name, filter)) continue;
    total += entry.size;
    ++listed;
    report.Listed(name, entry.size, hasTimes ? &entry.writeTime : nullptr);
  }
  report.Total(listed, total);
}

}  // namespace qev
