#include "cli/console_report.h"

#include "cli/report.h"
#include "platform/platform.h"

namespace qev {

void ConsoleReport::Put(std::string_view text) {
  if (text.empty()) return;  // an empty name's view may hold no pointer at all
  if (!whole_) {
    std::fwrite(text.data(), 1, text.size(), lines_);
    return;
  }
  held_.append(text);
  if (held_.empty() || held_.back() != '\n') return;
  progress_.Erase();
  std::fwrite(held_.data(), 1, held_.size(), lines_);
  held_.clear();
}

void ConsoleReport::Opened(std::string_view path, std::string_view kind, std::uint32_t count) {
  opened_ = true;
  // The count is a 32-bit field printed as a signed number.
  Put("open... " + std::string(path) + " is " + std::string(kind) +
      " file.\nfile count: " + std::to_string(static_cast<int>(count)) + "\n");
}

void ConsoleReport::Listed(std::string_view name, std::uint32_t size, const FILETIME* time) {
  char columns[64];
  if (time == nullptr) {
    platform::FormatToBuffer(columns, sizeof columns, "%13s  ", FormatThousands(size).c_str());
  } else {
    // Every stamp is shifted by the offset in force now. A stamp that cannot
    // be converted shows zeros, so the line keeps its columns.
    FILETIME local;
    CalendarTime calendar;
    if (!platform::FileTimeToLocal(*time, &local) ||
        !platform::FileTimeToCalendar(local, &calendar)) {
      calendar = CalendarTime();
    }
    platform::FormatToBuffer(columns, sizeof columns, "%4d/%02d/%02d  %02d:%02d  %13s  ",
                             calendar.year, calendar.month, calendar.day, calendar.hour,
                             calendar.minute, FormatThousands(size).c_str());
  }
  Put(columns);
  Put(name.substr(0, name.find('\0')));  // a name ends at its first NUL
  Put("\n");
}

void ConsoleReport::Member(std::string_view name) { Put(name); }

void ConsoleReport::Said(Verdict verdict) {
  static constexpr const char* kTexts[] = {
      " ...OK\n",          " ...checksum error\n", " ...checksum error", " ...size error\n",
      " ...write error\n", " ...too large\n",      " ...cannot open\n",  " ...cut short\n",
      " ...lost\n",        " ...deleted\n",        " ...not found\n",
  };
  static_assert(sizeof kTexts / sizeof kTexts[0] == static_cast<int>(Verdict::kNotFound) + 1);
  if (IsFailure(verdict)) failed_ = true;
  Put(kTexts[static_cast<int>(verdict)]);
}

void ConsoleReport::Line(std::string_view text, bool failure) {
  if (failure) failed_ = true;
  Put(text);
  Put("\n");
}

void ConsoleReport::Total(std::uint32_t files, std::uint32_t bytes) {
  Put("total: " + std::to_string(static_cast<int>(files)) + " files " + FormatThousands(bytes) +
      " Bytes\n");
}

void ConsoleReport::Created(std::uint32_t files) {
  Put("total: " + std::to_string(static_cast<int>(files)) + " files\n");
}

void ConsoleReport::Progress(std::uint64_t done, std::uint64_t total, std::string_view member) {
  progress_.Update(done, total, member);
}

}  // namespace qev
