// What the archive operations say, and the seam through which they say it:
// an operation decides what happened; the front end, which implements
// Report, decides how each line looks and where it goes.
#pragma once

#include <cstdint>
#include <string_view>

#include "types.h"

namespace qev {

// The words that end a member's line (or, for kChecksumNote, stand inside
// it before another verdict).
enum class Verdict {
  kOk,
  kChecksumError,  // ends the line: the stream's sum differs from the entry's
  kChecksumNote,   // the same, followed by the verdict of the write
  kSizeError,
  kWriteError,
  kTooLarge,
  kCannotOpen,
  kCutShort,
  kLost,
  kDeleted,
  kNotFound,
};

// True for the verdicts that report a failure.
inline bool IsFailure(Verdict verdict) {
  return verdict != Verdict::kOk && verdict != Verdict::kDeleted;
}

class Report {
 public:
  virtual ~Report() = default;

  // The archive was recognised: "open... <path> is <kind> file." and its
  // count of entries.
  virtual void Opened(std::string_view path, std::string_view kind, std::uint32_t count) = 0;
  // One line of a listing; time is null for a format without times.
  virtual void Listed(std::string_view name, std::uint32_t size, const FILETIME* time) = 0;
  // The name that opens a member's line, then its verdicts.
  virtual void Member(std::string_view name) = 0;
  virtual void Said(Verdict verdict) = 0;
  // A line of its own about the whole run (the write error that stops
  // creation, a layout found by recovery, ...). failure: whether it
  // reports one.
  virtual void Line(std::string_view text, bool failure) = 0;
  // The total line of listing, extraction and testing.
  virtual void Total(std::uint32_t files, std::uint32_t bytes) = 0;
  // The total line of creation.
  virtual void Created(std::uint32_t files) = 0;
};

}  // namespace qev
