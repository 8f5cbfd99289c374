// The member streams of an archive read from a pipe, decoded as they pass:
// back to back from the header area's end, each from the byte after the
// one that holds the last one's end marker, the last one cut by the table
// offset where its end marker does not come first. x writes each into a
// file of its own beside its destination, named once the table, at the
// end, tells whose it is; t only counts and sums it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "coding/lzss.h"
#include "formats/archive.h"
#include "io/file_handle.h"
#include "name_pool.h"
#include "ops/member_writer.h"
#include "ops/streamed_archive.h"

namespace qev {

class PassingStreams final : public StreamRegion {
 public:
  // With write, each stream's output goes into a file "qev-part-N.tmp".
  explicit PassingStreams(bool write) : write_(write) {}
  // Removes the files of the streams that no member took.
  ~PassingStreams() override;
  PassingStreams(const PassingStreams&) = delete;
  PassingStreams& operator=(const PassingStreams&) = delete;

  // Walks at most count streams: an archive with more is no archive that
  // qev creates, and its streams, no more than x of the file would write
  // files, are not all written.
  void Begin(std::uint32_t start, std::uint32_t end, std::uint32_t count) override;
  void Take(const std::uint8_t* data, std::size_t size) override;
  void End() override;

  // True when every member that filter selects decodes, by the rule of x
  // of a file (FindMemberExtent), to one stream of the walk, each to
  // another: its entry's offset starts the stream, and its extent holds
  // the stream through its end marker (a stream cut by the table offset
  // only an extent that ends there too).
  bool Serves(const ArchiveIndex& index, const NameList* filter) const;
  // The member whose entry's offset starts a stream of the walk, as
  // WriteMember would give it: with write, the stream's file takes name
  // (a safe one) stamped with *time, when not null; else it is removed.
  WrittenMember Member(std::uint32_t offset, const std::string& name, bool write,
                       const FILETIME* time);

 private:
  struct Stream {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
    std::uint32_t checksum = 0;
    std::uint32_t part = kNoPart;  // its file's number
    std::uint64_t decoded = 0;
    bool cut = false;     // the table offset came before its end marker
    bool failed = false;  // a write of its file failed
  };
  static constexpr std::uint32_t kNoPart = UINT32_MAX;

  void Feed(const std::uint8_t* data, std::size_t size);
  void Output();
  void Finish();
  std::uint32_t NewPart(FileHandle& file);
  void MoveAside(const std::string& name, const Stream& keep);
  void RemovePart(Stream& stream);

  bool write_;
  std::uint32_t end_ = 0;
  std::uint32_t count_ = 0;
  bool gaveUp_ = false;          // more streams than count_: none is kept
  std::uint64_t at_ = 0;         // the region's next byte for the decoder
  std::vector<Stream> streams_;  // the last one open while open_
  bool open_ = false;
  ByteBuffer recent_;  // the bytes that the decoder took last, up to at_
  LzssDecoder decoder_;
  FileHandle file_;
  std::uint32_t nextPart_ = 0;
};

}  // namespace qev
