#include "ops/recover_layout.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace qev {
namespace {

// Walks the layout of format; header is what its header area says, when
// its magic is there.
void PlanLayout(ByteSource& source, const ArchiveFormat& format, const ArchiveHeader* header,
                RecoveryPlan& plan) {
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
    WalkStreams(source, format.headerSize, fileEnd, plan.walk);
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
    PlanLayout(source, *format, &header, plan);
    plan.clue = LayoutClue::kMagic;
    return;
  }

  std::vector<RecoveryPlan> candidates(ArchiveFormats().size());
  std::size_t best = 0;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    PlanLayout(source, *ArchiveFormats()[i], nullptr, candidates[i]);
    if (candidates[i].index.entries.size() > candidates[best].index.entries.size()) best = i;
  }
  LayoutClue clue = LayoutClue::kTable;
  const ArchiveFormat* blank = FormatOfBlankHeader(head, headSize);
  if (candidates[best].index.entries.empty()) {
    clue = blank != nullptr ? LayoutClue::kBlankHeader : LayoutClue::kWalk;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
      const bool better = blank != nullptr
                              ? candidates[i].format == blank
                              : candidates[i].walk.wholeBytes > candidates[best].walk.wholeBytes;
      if (better) best = i;
    }
  }
  plan = std::move(candidates[best]);
  plan.clue = clue;
  if (plan.walk.starts.empty() && plan.index.entries.empty()) plan.format = nullptr;
}

}  // namespace qev
