#include "io/read_ahead.h"

#include <algorithm>
#include <system_error>

namespace qev {

ReadAhead::ReadAhead(FileHandle& input, std::uint64_t limit, std::uint64_t at, bool threaded)
    : input_(input), left_(limit), storage_((threaded ? kPieces : 1) * kPiece + kCacheLine) {
  base_ = storage_.data() + (at - reinterpret_cast<std::uintptr_t>(storage_.data())) % kCacheLine;
  if (!threaded) return;
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error&) {
    // Next reads each piece when it is asked for.
  }
}

ReadAhead::~ReadAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

std::uint32_t ReadAhead::ReadPiece(std::size_t slot) {
  const auto want = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPiece, left_));
  // Reads outside the lock: the slot is the reader's alone until filled_
  // counts it.
  const std::uint32_t got = want == 0 ? 0 : input_.ReadNext(base_ + slot * kPiece, want);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    sizes_[slot] = got;
    left_ -= got;
    ++filled_;
    ended_ = got < want || left_ == 0;
  }
  changed_.notify_all();
  return got;
}

void ReadAhead::Run() {
  for (;;) {
    std::size_t slot = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || filled_ - released_ < kPieces; });
      if (stop_) return;
      slot = filled_ % kPieces;
    }
    ReadPiece(slot);
    const std::lock_guard<std::mutex> lock(mutex_);
    if (ended_) return;
  }
}

const std::uint8_t* ReadAhead::Next(std::uint32_t* size) {
  if (!thread_.joinable()) {
    // No thread: each piece is read when it is asked for, into one slot.
    *size = ended_ ? 0 : ReadPiece(0);
    return base_;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  released_ = taken_;
  changed_.notify_all();
  changed_.wait(lock, [this] { return filled_ > taken_ || (ended_ && filled_ == taken_); });
  if (filled_ == taken_) {
    *size = 0;
    return base_;
  }
  const std::size_t slot = taken_++ % kPieces;
  *size = sizes_[slot];
  return base_ + slot * kPiece;
}

}  // namespace qev
