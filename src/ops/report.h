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
  // How far a long command has come: done bytes of total (0: not known),
  // while working on member. Called for every member and every piece of a
  // large one, so it must cost next to nothing.
  virtual void Progress(std::uint64_t done, std::uint64_t total, std::string_view member) = 0;
  // Whether progress is shown at all: what an operation would do only to
  // tell it (learning the sizes of all its inputs first) it skips otherwise.
  virtual bool ShowsProgress() const = 0;
};

// A command's count of bytes done, told to the report as it grows.
struct ProgressCount {
  Report* report = nullptr;  // null: nobody is told
  std::uint64_t done = 0;
  std::uint64_t total = 0;  // 0: not known

  void Add(std::uint64_t bytes, std::string_view member) { At(done + bytes, member); }
  void At(std::uint64_t position, std::string_view member) {
    done = position;
    if (report != nullptr) report->Progress(done, total, member);
  }
};

}  // namespace qev
