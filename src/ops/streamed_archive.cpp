#include "ops/streamed_archive.h"

#include <algorithm>
#include <cstring>

#include "formats/archive.h"
#include "io/read_ahead.h"

namespace qev {
namespace {

constexpr std::uint32_t kPiece = 256 * 1024;
constexpr std::uint64_t kReachable = std::uint64_t{1} << 32;

}  // namespace

void StreamedArchive::Read(FileHandle& input, StreamRegion* region, bool keep) {
  head_.assign(kMaxHeaderSize, 0);
  size_ = input.ReadNext(head_.data(), 4);
  const ArchiveFormat* format = RecogniseArchive(head_.data(), size_);
  if (format != nullptr) size_ += input.ReadNext(head_.data() + 4, format->headerSize - 4);
  const bool whole = format != nullptr && size_ == format->headerSize;
  // Bytes past the input's end read as zeros to the header, as from a file.
  regionStart_ = regionEnd_ = size_;
  head_.resize(static_cast<std::size_t>(size_));
  regionKept_ = true;
  if (!whole) return;
  ByteBuffer area(head_);
  area.resize(kMaxHeaderSize, 0);
  const ArchiveHeader header = format->readHeader(area.data());
  regionEnd_ = std::max<std::uint64_t>(regionStart_, header.tableOffset);
  ReadRegion(input, region, keep, header.count);
  if (size_ == regionEnd_) ReadTail(input);
}

void StreamedArchive::ReadRegion(FileHandle& input, StreamRegion* region, bool keep,
                                 std::uint32_t count) {
  regionKept_ = regionEnd_ == regionStart_ ||
                (keep && regionEnd_ - regionStart_ <= kKeptLimit && kept_.CreateScratch());
  if (region != nullptr)
    region->Begin(static_cast<std::uint32_t>(regionStart_), static_cast<std::uint32_t>(regionEnd_),
                  count);
  // The member streams are the bulk of an archive: where they are decoded
  // they are read ahead, on a thread, while the pieces before are decoded
  // and written. A read copies fastest into memory at the same offset
  // within a cache line as the input's position (see MemberDecoding), which
  // ReadAhead keeps.
  ReadAhead ahead(input, regionEnd_ - regionStart_, regionStart_, region != nullptr);
  while (size_ < regionEnd_) {
    const auto want =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(ReadAhead::kPiece, regionEnd_ - size_));
    std::uint32_t got = 0;
    const std::uint8_t* const piece = ahead.Next(&got);
    if (region != nullptr) region->Take(piece, got);
    if (regionKept_) regionKept_ = kept_.Write(piece, got) == got;
    size_ += got;
    if (progress != nullptr) progress->At(size_, "-");
    if (got < want) {
      regionEnd_ = size_;
      break;
    }
  }
  if (!regionKept_) kept_.Close();
  if (region != nullptr) region->End();
}

void StreamedArchive::ReadTail(FileHandle& input) {
  ByteBuffer buffer(kPiece);
  std::uint8_t* const piece = buffer.data();
  for (;;) {
    std::uint32_t got = 0;
    if (size_ >= kReachable) {
      // Past what a 32-bit offset reaches: counted, as a file's size is.
      got = input.ReadNext(piece, kPiece);
    } else if (tailFile_.IsOpen()) {
      got = input.ReadNext(piece, kPiece);
      if (tailFile_.Write(piece, got) != got) return;
    } else {
      const std::size_t at = tail_.size();
      tail_.resize(at + kPiece);
      got = input.ReadNext(tail_.data() + at, kPiece);
      tail_.resize(at + got);
      if (tail_.size() > kTailInMemory) {
        // A table this large waits in a scratch file instead.
        if (!tailFile_.CreateScratch() || !tailFile_.WriteAll(tail_)) return;
        ByteBuffer().swap(tail_);
      }
    }
    size_ += got;
    if (got < kPiece) return;
  }
}

std::uint32_t StreamedArchive::ReadAt(std::uint32_t offset, std::uint32_t size, void* dest) {
  auto* out = static_cast<std::uint8_t*>(dest);
  std::uint64_t at = offset;
  const std::uint64_t end = std::min<std::uint64_t>(std::uint64_t{offset} + size, size_);
  while (at < end) {
    const std::uint64_t want = end - at;
    std::uint64_t got = 0;
    if (at < head_.size()) {
      got = std::min<std::uint64_t>(want, head_.size() - at);
      std::memcpy(out, head_.data() + at, static_cast<std::size_t>(got));
    } else if (at < regionEnd_) {
      if (!regionKept_) break;
      got = kept_.ReadAt(static_cast<std::uint32_t>(at - regionStart_),
                         static_cast<std::uint32_t>(std::min(want, regionEnd_ - at)), out);
    } else if (tailFile_.IsOpen()) {
      got = tailFile_.ReadAt(static_cast<std::uint32_t>(at - regionEnd_),
                             static_cast<std::uint32_t>(want), out);
    } else {
      got = std::min<std::uint64_t>(want, tail_.size() - (at - regionEnd_));
      std::memcpy(out, tail_.data() + (at - regionEnd_), static_cast<std::size_t>(got));
    }
    if (got == 0) break;
    at += got;
    out += got;
  }
  return static_cast<std::uint32_t>(at - offset);
}

}  // namespace qev
