// The one line on standard error that shows a person how far a long
// command has come: bytes done of the total, percent, rate and the member
// being worked on. It is drawn over itself with a carriage return, at most
// ten times a second, and taken off the screen before any other line is
// printed and when the command ends, so that the other lines stay as they
// would be without it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qev {

// The progress line's text for done bytes of total (0: not known, and then
// no percent) after seconds: at most ProgressLine::kWidth characters, the
// member's name cut at its front to fit.
std::string ProgressText(std::uint64_t done, std::uint64_t total, double seconds,
                         std::string_view member);

class ProgressLine {
 public:
  // Fits a terminal of 80 columns without wrapping, which would keep the
  // carriage return from going back to its start.
  static constexpr std::size_t kWidth = 79;

  enum class Mode {
    kOff,
    kAfterASecond,  // a person watches: commands quicker than that show nothing
    kAtOnce,
  };
  // QEV_PROGRESS=0: off; QEV_PROGRESS=1: at once, wherever standard error
  // goes; otherwise after a second when standard error is a terminal.
  static Mode ModeFromEnvironment();

  explicit ProgressLine(Mode mode);
  ~ProgressLine() { Erase(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  bool Enabled() const { return mode_ != Mode::kOff; }
  void Update(std::uint64_t done, std::uint64_t total, std::string_view member);
  // Takes the line off the screen, if it is on it.
  void Erase();

 private:
  using Clock = std::chrono::steady_clock;

  Mode mode_;
  Clock::time_point start_;
  Clock::time_point next_;  // no drawing before this
  std::size_t shown_ = 0;   // characters of the line on the screen
};

}  // namespace qev
