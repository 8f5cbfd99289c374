// An archive read once, front to back, from an input that cannot go back
// (a pipe, a socket): its header area, then its member streams as they
// pass, then its table to the end.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/byte_source.h"
#include "io/file_handle.h"
#include "ops/report.h"
#include "types.h"

namespace qev {

// Takes the member streams' bytes, from the header area's end up to the
// table offset, as they pass.
class StreamRegion {
 public:
  virtual ~StreamRegion() = default;
  // Before the first byte: the region's bounds in the archive, and the
  // count of members that the header gives.
  virtual void Begin(std::uint32_t start, std::uint32_t end, std::uint32_t count) = 0;
  // The region's next size bytes.
  virtual void Take(const std::uint8_t* data, std::size_t size) = 0;
  // After the last byte: the region ended, or the input before it.
  virtual void End() = 0;
};

// The bytes of the archive that can be read back: the header area and the
// table always, the member streams where they were kept.
class StreamedArchive final : public ByteSource {
 public:
  // The most bytes of member streams kept in a scratch file for reading
  // back.
  static constexpr std::uint32_t kKeptLimit = 16 * 1024 * 1024;
  // The most bytes of table held in memory; the rest goes to a scratch file.
  static constexpr std::size_t kTailInMemory = 16 * 1024 * 1024;

  // Reads input to its end. The member streams go to region (when not
  // null) and, with keep, into a scratch file in TMPDIR while they are at
  // most kKeptLimit bytes. Input that starts with no format's magic is read
  // no further.
  void Read(FileHandle& input, StreamRegion* region, bool keep);
  // Told of every piece read, where not null (the total is not known).
  ProgressCount* progress = nullptr;
  // True when every byte read can be read back.
  bool Whole() const { return regionKept_; }

  std::uint32_t ReadAt(std::uint32_t offset, std::uint32_t size, void* dest) override;
  std::uint32_t Size() override { return static_cast<std::uint32_t>(size_); }

 private:
  void ReadRegion(FileHandle& input, StreamRegion* region, bool keep, std::uint32_t count);
  void ReadTail(FileHandle& input);

  ByteBuffer head_;  // from offset 0
  std::uint64_t regionStart_ = 0;
  std::uint64_t regionEnd_ = 0;  // where the table starts, or the input ended
  FileHandle kept_;              // the region's bytes, while regionKept_
  bool regionKept_ = false;
  ByteBuffer tail_;  // from regionEnd_, unless in tailFile_
  FileHandle tailFile_;
  std::uint64_t size_ = 0;
};

}  // namespace qev
