#include "ops/list.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "cli/report.h"
#include "ops/entries.h"
#include "platform/platform.h"

namespace qev {
namespace {

void PrintEntryLine(const Format3Entry& entry, std::string_view name) {
  // Every stamp is shifted by the offset in force now. A stamp that cannot
  // be converted shows zeros, so the line keeps its columns.
  FILETIME local;
  CalendarTime calendar;
  if (!platform::FileTimeToLocal(entry.writeTime, &local) ||
      !platform::FileTimeToCalendar(local, &calendar)) {
    calendar = CalendarTime();
  }
  std::printf("%4d/%02d/%02d  %02d:%02d  %13s  %.*s\n", calendar.year, calendar.month, calendar.day,
              calendar.hour, calendar.minute, FormatThousands(entry.size).c_str(),
              static_cast<int>(name.size()), name.data());
}

void PrintEntryLine(const Format4Entry& entry, std::string_view name) {
  std::printf("%13s  %.*s\n", FormatThousands(entry.size).c_str(), static_cast<int>(name.size()),
              name.data());
}

template <class Entry>
void ListEntries(ArchiveFormat format, const std::string& archivePath, const NameList* filter) {
  ArchiveIndex<Entry> index;
  if (!ReadIndex(archivePath, index, nullptr)) return;
  PrintOpenLines(format, archivePath, index.entries.size());

  std::uint32_t listed = 0;
  std::uint32_t total = 0;  // wraps modulo 2^32
  for (const Entry& entry : index.entries) {
    const std::string_view name = index.Name(entry);
    if (!IsSelected(name, filter)) continue;
    total += entry.size;
    ++listed;
    PrintEntryLine(entry, name);
  }
  PrintTotalLine(listed, total);
}

}  // namespace

void ListArchive(ArchiveFormat format, const std::string& archivePath, const NameList* filter) {
  if (format == ArchiveFormat::kFormat3) {
    ListEntries<Format3Entry>(format, archivePath, filter);
  } else {
    ListEntries<Format4Entry>(format, archivePath, filter);
  }
}

}  // namespace qev
