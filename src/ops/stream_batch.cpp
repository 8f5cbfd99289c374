#include "ops/stream_batch.h"

namespace qev {

bool StreamBatch::Flush() {
  const auto size = static_cast<std::uint32_t>(packed_.size());
  const std::uint32_t done = size == 0 ? 0 : archive_.Write(packed_.data(), size);
  written_ += done;
  packed_.clear();
  const bool complete = done == size;
  for (const Event& event : events_) {
    if (!event.stored) {
      report_.Member(event.name);
    } else if (complete || event.streamEnd <= written_) {
      report_.Said(Verdict::kOk);
    } else {
      // The first member whose stream is cut: its name is out already.
      break;
    }
  }
  if (!complete) report_.Said(Verdict::kWriteError);
  events_.clear();
  return complete;
}

}  // namespace qev
