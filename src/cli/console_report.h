// The operations' lines as the console shows them, on standard output.
#pragma once

#include "ops/report.h"

namespace qev {

class ConsoleReport final : public Report {
 public:
  void Opened(std::string_view path, std::string_view kind, std::uint32_t count) override;
  void Listed(std::string_view name, std::uint32_t size, const FILETIME* time) override;
  void Member(std::string_view name) override;
  void Said(Verdict verdict) override;
  void Line(std::string_view text, bool failure) override;
  void Total(std::uint32_t files, std::uint32_t bytes) override;
  void Created(std::uint32_t files) override;

  // Whether any line reported a failure.
  bool Failed() const { return failed_; }
  // Whether an archive was recognised and its index read.
  bool ArchiveRead() const { return opened_; }

 private:
  bool failed_ = false;
  bool opened_ = false;  // Opened was called
};

}  // namespace qev
