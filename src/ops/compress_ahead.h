// Small members compressed ahead of creation, on threads of their own (one
// fewer than compression takes, at least one): while creation writes one
// member, the next ones are read and compressed, each
// whole and alone, so that their streams are the ones creation would make
// itself. Only files are read; nothing is written or reported here.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "coding/lzss_compress.h"
#include "name_pool.h"
#include "platform/platform.h"
#include "types.h"

namespace qev {

// A member's file as one whole read found it, and its stream.
struct PreparedMember {
  bool ready = false;  // false: the member is to be stored the usual way
  std::uint64_t size = 0;
  bool hasWriteTime = false;
  FILETIME writeTime{};
  ByteBuffer stream;
  std::uint32_t checksum = 0;
};

class CompressAhead {
 public:
  // Members of at most a block are compressed whole; larger ones, whose
  // blocks the compressor parses on threads of its own, and those that
  // cannot be opened or read, are left to creation.
  static constexpr std::uint64_t kMaxWhole = LzssCompressor::kBlockSize;
  // Members prepared beyond the one creation takes: enough that a run of
  // small members keeps both threads busy; no more is begun while the
  // streams prepared and not yet taken hold kAheadBytes.
  static constexpr std::size_t kAhead = 64;
  static constexpr std::size_t kAheadBytes = 4 * 1024 * 1024;

  // `threads`: how many threads prepare members beside the caller; 0 means
  // one fewer than CompressionThreads(), at least one.
  explicit CompressAhead(const NameList& names, unsigned threads = 0);
  ~CompressAhead();
  CompressAhead(const CompressAhead&) = delete;
  CompressAhead& operator=(const CompressAhead&) = delete;

  // Member `index` of the list, prepared or not. Members are taken in
  // order, each once. While another thread prepares it, the caller
  // prepares a later one or waits.
  PreparedMember Take(std::size_t index);

 private:
  void Run();
  // Prepares the next member nobody has taken; called and returns with
  // the lock held.
  void PrepareNext(std::unique_lock<std::mutex>& lock);
  bool CanPrepare() const;

  const NameList& names_;
  std::mutex mutex_;
  std::condition_variable changed_;
  PreparedMember slots_[kAhead];
  bool done_[kAhead] = {};
  std::size_t taken_ = 0;       // members before this one are taken
  std::size_t next_ = 0;        // the next member nobody prepares yet
  std::size_t aheadBytes_ = 0;  // stream bytes prepared and not taken
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace qev
