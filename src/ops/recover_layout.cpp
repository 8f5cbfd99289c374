#include "ops/recover_layout.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace qev {
namespace {

// How many zero bytes the source starts with.
std::uint32_t LeadingZeros(ByteSource& source) {
  std::uint8_t piece[4096];
  std::uint32_t zeros = 0;
  for (std::uint32_t got; (got = source.ReadAt(zeros, sizeof piece, piece)) > 0;) {
    std::uint32_t i = 0;
    while (i < got && piece[i] == 0) ++i;
    zeros += i;
    if (i < got) break;
  }
  return zeros;
}

// Walks the layout of format; header is what its header area says, when
// its magic is there; the source starts with `zeros` zero bytes.
void PlanLayout(ByteSource& source, const ArchiveFormat& format, const ArchiveHeader* header,
                std::uint32_t zeros, RecoveryPlan& plan) {
  plan = RecoveryPlan();
  plan.format = &format;
  const std::uint32_t fileEnd = source.Size();
  if (header != nullptr && header->tableOffset >= format.headerSize &&
      header->tableOffset <= fileEnd) {
    // The table tells where the streams lie: the walk is done as they are
    // written, which decodes each one anyway.
    plan.walk.end = header->tableOffset;
    plan.walkLater = true;
    format.readTable(source, header->tableOffset, fileEnd, header->count, plan.index);
    const bool whole = plan.index.entries.size() == header->count;
    plan.index.tableOffset = header->tableOffset;
    plan.index.archiveSize = fileEnd;
    plan.table = whole ? TableState::kWhole : TableState::kPartial;
  } else {
    WalkStreams(source, format.headerSize, fileEnd, zeros, plan.walk);
    plan.table = FindTable(source, format, plan.walk, plan.index) ? TableState::kWhole
                                                                  : TableState::kPartial;
  }
  if (plan.index.entries.empty() && plan.table != TableState::kWhole) {
    plan.table = TableState::kMissing;
  }
}

}  // namespace

void PlanRecovery(ByteSource& source, RecoveryPlan& plan) {
  plan = RecoveryPlan();
  std::uint8_t head[kMaxHeaderSize] = {};
  const std::uint32_t headSize = source.ReadAt(0, sizeof head, head);
  if (const ArchiveFormat* format = RecogniseArchive(head, headSize)) {
    const ArchiveHeader header = format->readHeader(head);
    PlanLayout(source, *format, &header, 0, plan);
    plan.clue = LayoutClue::kMagic;
    return;
  }

  std::vector<RecoveryPlan> candidates(ArchiveFormats().size());
  std::size_t best = 0;
  const std::uint32_t zeros = LeadingZeros(source);
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    PlanLayout(source, *ArchiveFormats()[i], nullptr, zeros, candidates[i]);
    if (candidates[i].index.entries.size() > candidates[best].index.entries.size()) best = i;
  }
  LayoutClue clue = LayoutClue::kTable;
  if (candidates[best].index.entries.empty()) {
    clue = LayoutClue::kStreams;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      if (candidates[i].walk.evidence > candidates[best].walk.evidence) best = i;
    }
    // A blank header area tells: the widest format's whose header area is
    // blank. Where a narrower one's is blank as well, its walk may still
    // win, when that of the widest finds nothing plausible.
    if (const ArchiveFormat* blank = FormatOfBlankHeader(head, headSize)) {
      const std::size_t strongest = best;
      for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (candidates[i].format == blank) best = i;
      }
      clue = LayoutClue::kBlankHeader;
      if (candidates[best].walk.evidence <= 0 &&
          candidates[strongest].format->headerSize < blank->headerSize &&
          candidates[strongest].walk.evidence > 0) {
        best = strongest;
        clue = LayoutClue::kStreams;
      }
    }
  }
  plan = std::move(candidates[best]);
  plan.clue = clue;
  if (plan.walk.starts.empty() && plan.index.entries.empty()) plan.format = nullptr;
}

}  // namespace qev
