// A stream read ahead on a thread of its own, a few pieces in front of its
// consumer: what reading costs (from a pipe: copying its buffers out,
// waking its writer) overlaps the work done with the pieces before.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include "io/file_handle.h"
#include "types.h"

namespace qev {

class ReadAhead {
 public:
  // The most bytes a piece holds: a multiple of the cache line.
  static constexpr std::uint32_t kPiece = 256 * 1024;

  // Reads input from its position on, up to limit bytes, in pieces of
  // kPiece bytes (the last one shorter); the first byte lands in memory at
  // `at` modulo 64, and so does every kPiece-th. Without threaded, or
  // where no thread can be started, Next reads each piece itself.
  ReadAhead(FileHandle& input, std::uint64_t limit, std::uint64_t at, bool threaded = true);
  // Waits for the thread, which ends once its read in progress returns.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The next piece, which stays valid until the next call: kPiece bytes,
  // or fewer where the limit came or the input ended (or a read failed),
  // after which every piece is empty.
  const std::uint8_t* Next(std::uint32_t* size);

 private:
  static constexpr std::size_t kPieces = 4;
  static constexpr std::size_t kCacheLine = 64;

  // Reads the next piece into its slot; its size, and whether the reading
  // is over, are set under the lock.
  std::uint32_t ReadPiece(std::size_t slot);
  void Run();

  FileHandle& input_;
  std::uint64_t left_;  // bytes still to read, up to the limit
  ByteBuffer storage_;
  std::uint8_t* base_ = nullptr;  // slot i at base_ + i * kPiece
  std::uint32_t sizes_[kPieces] = {};
  std::size_t filled_ = 0;    // pieces read
  std::size_t taken_ = 0;     // pieces handed out
  std::size_t released_ = 0;  // pieces handed out and done with
  bool ended_ = false;        // the last piece is read
  bool stop_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread thread_;
};

}  // namespace qev
