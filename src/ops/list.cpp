#include "ops/list.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "cli/report.h"
#include "ops/entries.h"
#include "platform/platform.h"

namespace qev {
namespace {

void PrintEntryLine(const Format3Entry& entry, const std::string& name) {
  // Every stamp is shifted by the offset in force now. A stamp that cannot
  // be converted shows zeros, so the line keeps its columns.
  FILETIME local;
  CalendarTime calendar;
  if (!platform::FileTimeToLocal(entry.writeTime, &local) ||
      !platform::FileTimeToCalendar(local, &calendar)) {
    calendar = CalendarTime();
  }
  std::printf("%4d/%02d/%02d  %02d:%02d  %13s  %s\n", calendar.year, calendar.month, calendar.day,
              calendar.hour, calendar.minute, FormatThousands(entry.size).c_str(), name.c_str());
}

void PrintEntryLine(const Format4Entry& entry, const std::string& name) {
  std::printf("%13s  %s\n", FormatThousands(entry.size).c_str(), name.c_str());
}

template <class Entry>
void ListEntries(ArchiveFormat format, const std::string& archivePath, const NameList* filter) {
  std::vector<Entry> entries;
  if (!ReadIndex(archivePath, entries, nullptr)) return;
  PrintOpenLines(format, archivePath, entries.size());

  std::uint32_t listed = 0;
  std::uint32_t total = 0;  // wraps modulo 2^32
  for (const Entry& entry : entries) {
    const std::string name = EntryName(entry.name);
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
