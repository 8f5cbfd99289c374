#include "ops/passing_streams.h"

#include <algorithm>
#include <cctype>

#include "io/path.h"
#include "ops/select.h"
#include "platform/platform.h"

namespace qev {
namespace {

// Names tried in a row for a stream's file before the stream goes unwritten.
constexpr std::uint32_t kPartTries = 100;
// More than the decoder ever takes past an end marker (what it carries
// from one piece to the next).
constexpr std::size_t kRecent = 128;

std::string PartName(std::uint32_t part) { return "qev-part-" + std::to_string(part) + ".tmp"; }

// The number of the part name that name is, in any case, or UINT32_MAX.
std::uint32_t PartNumber(const std::string& name) {
  std::string lower(name);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  constexpr std::string_view kPrefix = "qev-part-";
  constexpr std::string_view kSuffix = ".tmp";
  if (!lower.starts_with(kPrefix) || !lower.ends_with(kSuffix)) return UINT32_MAX;
  const std::string digits = lower.substr(kPrefix.size(), lower.size() - 13);
  if (digits.empty() || digits.size() > 9 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return UINT32_MAX;
  return static_cast<std::uint32_t>(std::stoul(digits));
}

}  // namespace

PassingStreams::~PassingStreams() {
  file_.Close();
  for (Stream& stream : streams_) RemovePart(stream);
}

void PassingStreams::Begin(std::uint32_t start, std::uint32_t end, std::uint32_t count) {
  at_ = start;
  end_ = end;
  count_ = count;
}

void PassingStreams::Take(const std::uint8_t* data, std::size_t size) { Feed(data, size); }

void PassingStreams::Feed(const std::uint8_t* data, std::size_t size) {
  while (size > 0 && !gaveUp_) {
    if (!open_ && streams_.size() == count_) {
      for (Stream& stream : streams_) RemovePart(stream);
      std::vector<Stream>().swap(streams_);
      gaveUp_ = true;
      return;
    }
    if (!open_) {
      open_ = true;
      Stream stream;
      stream.start = static_cast<std::uint32_t>(at_);
      if (write_) stream.part = NewPart(file_);
      streams_.push_back(stream);
      decoder_.Reset();
    }
    const std::size_t used = decoder_.Decode(data, size, false);
    // The decoder may take bytes past the end marker, which start the next
    // stream: the last few are kept to be given again.
    if (used >= kRecent) recent_.clear();
    recent_.insert(recent_.end(), data + used - std::min(used, kRecent), data + used);
    if (recent_.size() > 2 * kRecent) recent_.erase(recent_.begin(), recent_.end() - kRecent);
    at_ += used;
    data += used;
    size -= used;
    Output();
    if (!decoder_.Ended()) continue;
    const std::uint64_t end = streams_.back().start + decoder_.Ending().Bytes();
    Finish();
    if (end > at_) {
      // The byte that holds the end marker's last bits, which the decoder
      // read but did not count as taken.
      const std::size_t passed = static_cast<std::size_t>(std::min<std::uint64_t>(end - at_, size));
      at_ += passed;
      data += passed;
      size -= passed;
    } else if (end < at_) {
      const ByteBuffer again(recent_.end() - static_cast<std::ptrdiff_t>(at_ - end), recent_.end());
      at_ = end;
      recent_.clear();
      Feed(again.data(), again.size());
    }
  }
}

void PassingStreams::Output() {
  Stream& stream = streams_.back();
  const std::size_t size = decoder_.OutputSize();
  stream.decoded += size;
  if (stream.part == kNoPart || stream.failed || size == 0) return;
  stream.failed = stream.decoded > UINT32_MAX ||
                  file_.Write(decoder_.Output(), static_cast<std::uint32_t>(size)) != size;
}

void PassingStreams::Finish() {
  Stream& stream = streams_.back();
  stream.checksum = decoder_.Checksum();
  stream.length = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(decoder_.Ending().Bytes(), end_ - std::uint64_t{stream.start}));
  if (stream.part != kNoPart && !file_.Close()) stream.failed = true;
  open_ = false;
}

void PassingStreams::End() {
  if (!open_) return;
  // The table offset cuts the last stream: the rest reads as zero bits.
  while (!decoder_.Ended()) {
    decoder_.Decode(nullptr, 0, true);
    Output();
  }
  streams_.back().cut = true;
  Finish();
  streams_.back().length = end_ - streams_.back().start;
}

bool PassingStreams::Serves(const ArchiveIndex& index, const NameList* filter) const {
  if (gaveUp_) return false;
  std::vector<bool> taken(streams_.size());
  for (std::size_t i = 0; i < index.entries.size(); ++i) {
    const Entry& entry = index.entries[i];
    if (!IsSelected(index.Name(entry), filter)) continue;
    const auto found =
        std::lower_bound(streams_.begin(), streams_.end(), entry.offset,
                         [](const Stream& stream, std::uint32_t at) { return stream.start < at; });
    if (found == streams_.end() || found->start != entry.offset) return false;
    const std::size_t k = static_cast<std::size_t>(found - streams_.begin());
    const MemberExtent extent = FindMemberExtent(index, i);
    const std::uint64_t extentEnd = std::uint64_t{extent.start} + extent.length;
    const std::uint64_t streamEnd = std::uint64_t{found->start} + found->length;
    if (taken[k] || (found->cut ? extentEnd != streamEnd : extentEnd < streamEnd)) return false;
    taken[k] = true;
  }
  return true;
}

WrittenMember PassingStreams::Member(std::uint32_t offset, const std::string& name, bool write,
                                     const FILETIME* time) {
  Stream& stream =
      *std::lower_bound(streams_.begin(), streams_.end(), offset,
                        [](const Stream& s, std::uint32_t at) { return s.start < at; });
  WrittenMember member;
  // The stream's bytes as the walk took them, in whole bytes.
  member.stream.checksum = stream.checksum;
  member.stream.ending.bits = std::uint64_t{stream.length} * 8;
  member.decoded = stream.decoded;
  if (write && stream.part != kNoPart && !stream.failed && IsSafeMemberName(name)) {
    MoveAside(name, stream);
    const std::string part = PartName(stream.part);
    // A file whose times could not be set still holds the right bytes.
    if (time != nullptr) platform::SetPathTimes(part.c_str(), *time);
    // A member may be called as its own waiting file.
    member.written = name == part || platform::ReplacePath(part.c_str(), name.c_str());
    if (member.written) stream.part = kNoPart;
  }
  RemovePart(stream);
  return member;
}

std::uint32_t PassingStreams::NewPart(FileHandle& file) {
  // A name that a file already holds (one left by a run that was killed)
  // is passed over.
  for (std::uint32_t tries = 0; tries < kPartTries && nextPart_ < kNoPart; ++tries) {
    const std::uint32_t part = nextPart_++;
    if (file.CreateTemporary(PartName(part))) return part;
  }
  return kNoPart;
}

// A member may be called as the file of another stream still waiting for
// its name: that file moves to a new name first.
void PassingStreams::MoveAside(const std::string& name, const Stream& keep) {
  const std::uint32_t number = PartNumber(name);
  if (number == UINT32_MAX || number == keep.part) return;
  for (Stream& stream : streams_) {
    if (stream.part != number) continue;
    FileHandle file;
    const std::uint32_t part = NewPart(file);
    file.Close();
    if (part != kNoPart &&
        !platform::ReplacePath(PartName(number).c_str(), PartName(part).c_str())) {
      platform::DeletePath(PartName(part).c_str());
      stream.failed = true;
      return;
    }
    stream.part = part;
    return;
  }
}

void PassingStreams::RemovePart(Stream& stream) {
  if (stream.part == kNoPart) return;
  platform::DeletePath(PartName(stream.part).c_str());
  stream.part = kNoPart;
}

}  // namespace qev
