// The operations' lines as the console shows them: on standard output, or
// on standard error when standard output carries the archive, with the
// progress line beside them on standard error.
#pragma once

#include <cstdio>
#include <string>

#include "cli/progress_line.h"
#include "ops/report.h"

namespace qev {

class ConsoleReport final : public Report {
 public:
  // lines: stdout or stderr.
  ConsoleReport(std::FILE* lines, ProgressLine::Mode progress)
      : lines_(lines), progress_(progress), whole_(lines == stderr || progress_.Enabled()) {}
  ~ConsoleReport() override { progress_.Erase(); }

  void Opened(std::string_view path, std::string_view kind, std::uint32_t count) override;
  void Listed(std::string_view name, std::uint32_t size, const FILETIME* time) override;
  void Member(std::string_view name) override;
  void Said(Verdict verdict) override;
  void Line(std::string_view text, bool failure) override;
  void Total(std::uint32_t files, std::uint32_t bytes) override;
  void Created(std::uint32_t files) override;
  void Progress(std::uint64_t done, std::uint64_t total, std::string_view member) override;
  bool ShowsProgress() const override { return progress_.Enabled(); }

  // Whether any line reported a failure.
  bool Failed() const { return failed_; }
  // Whether an archive was recognised and its index read.
  bool ArchiveRead() const { return opened_; }

 private:
  // Prints text. While a progress line may show, or on standard error,
  // which has no buffer, a line goes out only when it is whole (with the
  // progress line erased first), in one write.
  void Put(std::string_view text);

  std::FILE* lines_;
  ProgressLine progress_;
  bool whole_;        // lines go out whole
  std::string held_;  // the start of a line not yet printed
  bool failed_ = false;
  bool opened_ = false;  // Opened was called
};

}  // namespace qev
