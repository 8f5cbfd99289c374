#include "ops/compress_ahead.h"

#include <algorithm>
#include <new>
#include <string>
#include <system_error>
#include <utility>

#include "coding/lzss_compress.h"
#include "io/file_handle.h"

namespace qev {
namespace {

PreparedMember Prepare(std::string_view name) {
  PreparedMember member;
  try {
    FileHandle input;
    if (!input.OpenRead(std::string(name)) || !input.GetFullSize(&member.size) ||
        member.size > CompressAhead::kMaxWhole) {
      return {};
    }
    member.hasWriteTime = input.GetWriteTime(&member.writeTime);
    const auto size = static_cast<std::uint32_t>(member.size);
    ByteBuffer data(size);
    if (size > 0 && input.ReadAt(0, size, data.data()) != size) return {};
    member.checksum = LzssCompress(data, member.stream);
    member.ready = true;
    return member;
  } catch (const std::bad_alloc&) {
    return {};
  }
}

}  // namespace

CompressAhead::CompressAhead(const NameList& names, unsigned threads) : names_(names) {
  if (threads == 0) threads = std::max(CompressionThreads(), 2u) - 1;
  try {
    workers_.reserve(threads);
    while (workers_.size() < threads) workers_.emplace_back([this] { Run(); });
  } catch (const std::system_error&) {
    // Fewer threads, or none: creation stores the other members itself.
  } catch (const std::bad_alloc&) {
  }
}

CompressAhead::~CompressAhead() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

bool CompressAhead::CanPrepare() const {
  return !stop_ && next_ < names_.size() && next_ < taken_ + kAhead && aheadBytes_ < kAheadBytes;
}

void CompressAhead::PrepareNext(std::unique_lock<std::mutex>& lock) {
  const std::size_t index = next_++;
  const std::string_view name = names_[index];
  lock.unlock();
  PreparedMember member = Prepare(name);
  lock.lock();
  aheadBytes_ += member.stream.size();
  slots_[index % kAhead] = std::move(member);
  done_[index % kAhead] = true;
  changed_.notify_all();
}

void CompressAhead::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return stop_ || CanPrepare(); });
    if (stop_) return;
    PrepareNext(lock);
  }
}

PreparedMember CompressAhead::Take(std::size_t index) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (index >= next_) {
    // Nobody has begun it: the caller stores it itself.
    taken_ = next_ = index + 1;
    changed_.notify_all();
    return {};
  }
  while (!done_[index % kAhead]) {
    if (CanPrepare()) {
      PrepareNext(lock);
    } else {
      changed_.wait(lock);
    }
  }
  PreparedMember member = std::move(slots_[index % kAhead]);
  aheadBytes_ -= member.stream.size();
  slots_[index % kAhead] = {};
  done_[index % kAhead] = false;
  taken_ = index + 1;
  changed_.notify_all();
  return member;
}

}  // namespace qev
