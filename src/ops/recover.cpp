#include "ops/recover.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <numeric>
#include <vector>

#include "io/file_handle.h"
#include "ops/member_writer.h"
#include "ops/open_archive.h"
#include "ops/recover_layout.h"
#include "ops/recover_walk.h"
#include "ops/select.h"

namespace qev {
namespace {

std::string LayoutLine(const RecoveryPlan& plan) {
  static constexpr const char* kClues[] = {"its magic", "its table", "a blank header",
                                           "its streams"};
  static constexpr const char* kTables[] = {"whole", "partial", "missing"};
  std::string line = "layout: ";
  line.append(plan.format->name).append(" from ").append(kClues[static_cast<int>(plan.clue)]);
  return line.append(", table ").append(kTables[static_cast<int>(plan.table)]);
}

struct Tally {
  std::uint32_t files = 0;
  std::uint32_t bytes = 0;  // wraps modulo 2^32, as extraction's total does
};

// Says the verdict on a stream written as a member; entry, when not null,
// is the table's word on it.
void SayVerdict(const WrittenMember& member, const Entry* entry, bool cut,
                const ArchiveFormat& format, Report& report, Tally& tally) {
  if (member.tooLarge) {
    report.Said(Verdict::kTooLarge);
    return;
  }
  if (!member.written) {
    report.Said(Verdict::kWriteError);
    return;
  }
  ++tally.files;
  tally.bytes += static_cast<std::uint32_t>(member.decoded);
  if (cut) {
    report.Said(Verdict::kCutShort);
  } else if (entry != nullptr && format.hasChecksums && member.stream.checksum != entry->checksum) {
    report.Said(Verdict::kChecksumError);
  } else if (entry != nullptr && member.decoded != entry->size) {
    report.Said(Verdict::kSizeError);
  } else {
    report.Said(Verdict::kOk);
  }
}

// Writes the streams one after another, naming each from the entries, and
// walks them as it goes where the plan left the walk to it.
class StreamWriter {
 public:
  StreamWriter(ByteSource& archive, const RecoveryPlan& plan, const NameList* filter,
               Report& report)
      : archive_(archive), plan_(plan), filter_(filter), report_(report) {
    progress_ = {&report, 0, plan.walk.end};
    decoding_.progress = &progress_;
    const ArchiveIndex& index = plan.index;
    byOffset_.resize(index.entries.size());
    std::iota(byOffset_.begin(), byOffset_.end(), 0u);
    std::stable_sort(byOffset_.begin(), byOffset_.end(), [&](std::uint32_t a, std::uint32_t b) {
      return index.entries[a].offset < index.entries[b].offset;
    });
  }

  void Run() {
    const ArchiveIndex& index = plan_.index;
    const StreamWalk& walk = plan_.walk;
    if (!plan_.walkLater) starts_ = walk.starts;
    const std::uint32_t first = plan_.format->headerSize;
    auto next = byOffset_.begin();
    for (std::size_t i = 0;; ++i) {
      const std::uint32_t at = plan_.walkLater ? (i == 0 ? first : end_) : 0;
      if (plan_.walkLater ? at >= walk.end : i >= starts_.size()) break;
      if (plan_.walkLater) starts_.push_back(at);
      // Where the walk found the stream to end, or, walking now, all that
      // is left up to the table: the decoder stops at the end marker.
      const MemberExtent extent =
          plan_.walkLater ? MemberExtent{at, walk.end - at} : StreamExtent(walk, i);
      cut_ = !plan_.walkLater && walk.lastCut && i + 1 == starts_.size();
      found_ = false;
      while (next != byOffset_.end() && index.entries[*next].offset < starts_[i]) ++next;
      bool named = false;
      for (; next != byOffset_.end() && index.entries[*next].offset == starts_[i]; ++next) {
        named = true;
        Write(std::string(index.Name(index.entries[*next])), &index.entries[*next], extent, next);
      }
      if (!named) Write("recovered-" + std::to_string(i + 1), nullptr, extent, next);
      if (plan_.walkLater && !found_) FindEnd(at, next);
    }
    for (const Entry& entry : index.entries) {
      if (std::binary_search(starts_.begin(), starts_.end(), entry.offset)) continue;
      const std::string_view name = index.Name(entry);
      if (!IsSelected(name, filter_)) continue;
      report_.Member(name);
      report_.Said(Verdict::kLost);
    }
    report_.Total(tally_.files, tally_.bytes);
  }

 private:
  using Order = std::vector<std::uint32_t>::const_iterator;

  void Write(const std::string& name, const Entry* entry, MemberExtent extent, Order next) {
    if (!IsSelected(name, filter_)) return;
    // A file cut short keeps the time of its writing, so that nothing
    // takes it for the member as it was.
    const FILETIME* time =
        entry != nullptr && plan_.format->hasTimes && !cut_ ? &entry->writeTime : nullptr;
    report_.Member(name);
    decoding_.member = name;
    const WrittenMember member = WriteMember(archive_, extent, name, true, time, decoding_);
    if (plan_.walkLater && !found_) FindEnd(extent.start, next, &member);
    SayVerdict(member, entry, cut_, *plan_.format, report_, tally_);
  }

  // Where the stream at `at` ends, walking now: where the decoder read its
  // end marker, unless the next entry's offset lies within a byte of where
  // the decoder stopped taking stored bytes (through the one before the end
  // marker's last bit, or through that one when the marker ends a byte, or
  // all of them when the table's offset cut the stream): the stream then
  // ends there, as the table says.
  void FindEnd(std::uint32_t at, Order next, const WrittenMember* member = nullptr) {
    found_ = true;
    const std::uint32_t limit = plan_.walk.end;
    while (next != byOffset_.end() && plan_.index.entries[*next].offset <= at) ++next;
    const std::uint32_t following =
        next != byOffset_.end() ? std::min(plan_.index.entries[*next].offset, limit) : limit;
    const StreamEnding ending = member != nullptr && !member->tooLarge
                                    ? member->stream.ending
                                    : EndOfStream(archive_, {at, limit - at}, decoding_);
    const std::uint64_t taken = ending.stored ? ending.bits / 8 : limit - at;
    if (following - at == taken || following - at == taken + 1) {
      end_ = following;
      cut_ = false;
      return;
    }
    end_ = ending.stored ? at + static_cast<std::uint32_t>(ending.Bytes()) : limit;
    cut_ = !ending.stored;
  }

  ByteSource& archive_;
  const RecoveryPlan& plan_;
  const NameList* filter_;
  Report& report_;
  std::vector<std::uint32_t>
      byOffset_;  // entries in the order of their offsets, table order among equals
  std::vector<std::uint32_t> starts_;  // the streams found
  MemberDecoding decoding_;
  ProgressCount progress_;
  Tally tally_;
  std::uint32_t end_ = 0;  // walking now: where the stream ends
  bool cut_ = false;       // the stream is cut short
  bool found_ = false;     // end_ and cut_ hold for this stream
};

}  // namespace

void RecoverArchive(const std::string& archivePath, const NameList* filter, Report& report) {
  FileHandle file;
  RecoveryPlan plan;
  ProgressCount copied{&report, 0, 0};
  try {
    if (OpenArchiveFile(archivePath, file, &copied)) PlanRecovery(file, plan);
  } catch (const std::bad_alloc&) {
    plan = RecoveryPlan();
  }
  if (plan.format == nullptr) {
    report.Line("layout: none", true);
    return;
  }
  report.Line(LayoutLine(plan), plan.table != TableState::kWhole);
  try {
    StreamWriter(file, plan, filter, report).Run();
  } catch (const std::bad_alloc&) {
    report.Line("out of memory", true);
  }
}

}  // namespace qev
