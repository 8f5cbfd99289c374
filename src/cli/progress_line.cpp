#include "cli/progress_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/report.h"
#include "platform/platform.h"

namespace qev {
namespace {

constexpr auto kFirstAfter = std::chrono::seconds(1);
constexpr auto kRefresh = std::chrono::milliseconds(100);

void PutError(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); }

}  // namespace

std::string ProgressText(std::uint64_t done, std::uint64_t total, double seconds,
                         std::string_view member) {
  std::string text = FormatBytes(done);
  if (total != 0) {
    const std::uint64_t percent = done >= total ? 100 : done * 100 / total;
    char share[8];
    platform::FormatToBuffer(share, sizeof share, "%3u%%", static_cast<unsigned>(percent));
    text += " of " + FormatBytes(total) + "  " + share;
  }
  if (seconds > 0) {
    text +=
        "  " + FormatBytes(static_cast<std::uint64_t>(static_cast<double>(done) / seconds)) + "/s";
  }
  if (!member.empty() && text.size() + 2 < ProgressLine::kWidth) {
    text += "  ";
    const std::size_t room = ProgressLine::kWidth - text.size();
    if (member.size() > room) {
      text += "...";
      member = member.substr(member.size() - (room - 3));
    }
    text += member;
  }
  return text;
}

ProgressLine::Mode ProgressLine::ModeFromEnvironment() {
  const char* setting = std::getenv("QEV_PROGRESS");
  if (setting != nullptr && std::strcmp(setting, "0") == 0) return Mode::kOff;
  if (setting != nullptr && std::strcmp(setting, "1") == 0) return Mode::kAtOnce;
  return platform::IsTerminal(platform::StandardStream::kError) ? Mode::kAfterASecond : Mode::kOff;
}

ProgressLine::ProgressLine(Mode mode) : mode_(mode) {
  if (mode_ == Mode::kOff) return;
  start_ = Clock::now();
  next_ = mode_ == Mode::kAtOnce ? start_ : start_ + kFirstAfter;
}

void ProgressLine::Update(std::uint64_t done, std::uint64_t total, std::string_view member) {
  if (mode_ == Mode::kOff) return;
  const Clock::time_point now = Clock::now();
  if (now < next_) return;
  next_ = now + kRefresh;
  const std::string text =
      ProgressText(done, total, std::chrono::duration<double>(now - start_).count(), member);
  // Spaces cover what is left of a longer line before it.
  std::string line(1, '\r');
  line += text;
  if (text.size() < shown_) line.append(shown_ - text.size(), ' ');
  PutError(line);
  shown_ = text.size();
}

void ProgressLine::Erase() {
  if (shown_ == 0) return;
  std::string blank(shown_ + 2, ' ');
  blank.front() = blank.back() = '\r';
  PutError(blank);
  shown_ = 0;
}

}  // namespace qev
