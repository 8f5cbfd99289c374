#include "ops/recover.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <numeric>
#include <vector>

#include "io/file_handle.h"
#include "ops/member_writer.h"
#include "ops/recover_layout.h"
#include "ops/select.h"

namespace qev {
namespace {

std::string LayoutLine(const RecoveryPlan& plan) {
  static constexpr const char* kClues[] = {"its magic", "its table", "a blank header",
                                           "the longer walk"};
  static constexpr const char* kTables[] = {"whole", "partial", "missing"};
  std::string line = "layout: ";
  line.append(plan.format->name).append(" from ").append(kClues[static_cast<int>(plan.clue)]);
  return line.append(", table ").append(kTables[static_cast<int>(plan.table)]);
}

struct Tally {
  std::uint32_t files = 0;
  std::uint32_t bytes = 0;  // wraps modulo 2^32, as extraction's total does
};

// Writes stream i as name and says its verdict; entry, when not null, is
// the table's word on it.
void RecoverStream(ByteSource& archive, const RecoveryPlan& plan, std::size_t i,
                   const std::string& name, const Entry* entry, MemberDecoding& decoding,
                   Report& report, Tally& tally) {
  const bool cut = plan.walk.lastCut && i + 1 == plan.walk.starts.size();
  // A file cut short keeps the time of its writing, so that nothing takes
  // it for the member as it was.
  const FILETIME* time =
      entry != nullptr && plan.format->hasTimes && !cut ? &entry->writeTime : nullptr;
  report.Member(name);
  const WrittenMember member =
      WriteMember(archive, StreamExtent(plan.walk, i), name, true, time, decoding);
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
  } else if (entry != nullptr && plan.format->hasChecksums &&
             member.stream.checksum != entry->checksum) {
    report.Said(Verdict::kChecksumError);
  } else if (entry != nullptr && member.decoded != entry->size) {
    report.Said(Verdict::kSizeError);
  } else {
    report.Said(Verdict::kOk);
  }
}

void RecoverMembers(ByteSource& archive, const RecoveryPlan& plan, const NameList* filter,
                    Report& report) {
  const ArchiveIndex& index = plan.index;
  const std::vector<std::uint32_t>& starts = plan.walk.starts;
  // The entries in the order of their offsets, table order among equals.
  std::vector<std::uint32_t> byOffset(index.entries.size());
  std::iota(byOffset.begin(), byOffset.end(), 0u);
  std::stable_sort(byOffset.begin(), byOffset.end(), [&](std::uint32_t a, std::uint32_t b) {
    return index.entries[a].offset < index.entries[b].offset;
  });

  MemberDecoding decoding;
  Tally tally;
  auto next = byOffset.begin();
  for (std::size_t i = 0; i < starts.size(); ++i) {
    while (next != byOffset.end() && index.entries[*next].offset < starts[i]) ++next;
    bool named = false;
    for (; next != byOffset.end() && index.entries[*next].offset == starts[i]; ++next) {
      const Entry& entry = index.entries[*next];
      const std::string name(index.Name(entry));
      named = true;
      if (IsSelected(name, filter)) {
        RecoverStream(archive, plan, i, name, &entry, decoding, report, tally);
      }
    }
    const std::string name = "recovered-" + std::to_string(i + 1);
    if (!named && IsSelected(name, filter)) {
      RecoverStream(archive, plan, i, name, nullptr, decoding, report, tally);
    }
  }
  for (const Entry& entry : index.entries) {
    if (std::binary_search(starts.begin(), starts.end(), entry.offset)) continue;
    const std::string_view name = index.Name(entry);
    if (!IsSelected(name, filter)) continue;
    report.Member(name);
    report.Said(Verdict::kLost);
  }
  report.Total(tally.files, tally.bytes);
}

}  // namespace

void RecoverArchive(const std::string& archivePath, const NameList* filter, Report& report) {
  FileHandle file;
  RecoveryPlan plan;
  try {
    if (file.OpenRead(archivePath)) PlanRecovery(file, plan);
  } catch (const std::bad_alloc&) {
    plan = RecoveryPlan();
  }
  if (plan.format == nullptr) {
    report.Line("layout: none", true);
    return;
  }
  report.Line(LayoutLine(plan), plan.table != TableState::kWhole);
  try {
    RecoverMembers(file, plan, filter, report);
  } catch (const std::bad_alloc&) {
    report.Line("out of memory", true);
  }
}

}  // namespace qev
