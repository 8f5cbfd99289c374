#include "cli/console_report.h"

#include <cstdio>

#include "cli/report.h"
#include "platform/platform.h"

namespace qev {
namespace {

void Put(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace

void ConsoleReport::Opened(std::string_view path, std::string_view kind, std::uint32_t count) {
  opened_ = true;
  std::printf("open... %.*s is %.*s file.\n", static_cast<int>(path.size()), path.data(),
              static_cast<int>(kind.size()), kind.data());
  // The count is a 32-bit field printed as a signed number.
  std::printf("file count: %d\n", static_cast<int>(count));
}

void ConsoleReport::Listed(std::string_view name, std::uint32_t size, const FILETIME* time) {
  if (time == nullptr) {
    std::printf("%13s  %.*s\n", FormatThousands(size).c_str(), static_cast<int>(name.size()),
                name.data());
    return;
  }
  // Every stamp is shifted by the offset in force now. A stamp that cannot
  // be converted shows zeros, so the line keeps its columns.
  FILETIME local;
  CalendarTime calendar;
  if (!platform::FileTimeToLocal(*time, &local) ||
      !platform::FileTimeToCalendar(local, &calendar)) {
    calendar = CalendarTime();
  }
  std::printf("%4d/%02d/%02d  %02d:%02d  %13s  %.*s\n", calendar.year, calendar.month, calendar.day,
              calendar.hour, calendar.minute, FormatThousands(size).c_str(),
              static_cast<int>(name.size()), name.data());
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
  std::fputs(kTexts[static_cast<int>(verdict)], stdout);
}

void ConsoleReport::Line(std::string_view text, bool failure) {
  if (failure) failed_ = true;
  Put(text);
  std::fputc('\n', stdout);
}

void ConsoleReport::Total(std::uint32_t files, std::uint32_t bytes) {
  std::printf("total: %d files %s Bytes\n", static_cast<int>(files),
              FormatThousands(bytes).c_str());
}

void ConsoleReport::Created(std::uint32_t files) {
  std::printf("total: %d files\n", static_cast<int>(files));
}

}  // namespace qev
