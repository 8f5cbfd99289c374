// Choosing how to read what is left of an archive: which format's layout,
// where its streams lie and what survives of its table.
#pragma once

#include "formats/archive.h"
#include "io/byte_source.h"
#include "ops/recover_walk.h"

namespace qev {

// What decided the layout.
enum class LayoutClue {
  kMagic,        // the header's magic
  kTable,        // a table whose entries start the streams of the walk
  kBlankHeader,  // a header area of zeros (FormatOfBlankHeader)
  kStreams,      // the walk whose whole streams show more evidence of an encoder
};

enum class TableState { kWhole, kPartial, kMissing };

struct RecoveryPlan {
  const ArchiveFormat* format = nullptr;  // null: no layout reads anything
  LayoutClue clue = LayoutClue::kMagic;
  // The member streams, the table's excluded. With walkLater the walk is
  // left to the writing (see RecoverArchive): only walk.end, the table's
  // offset, is set.
  StreamWalk walk;
  bool walkLater = false;
  ArchiveIndex index;  // the table's entries as far as they survive
  TableState table = TableState::kMissing;
};

// With a format's magic, walks that format's streams up to the table
// offset of its header where that lies within the file (and reads the
// table from there), else to the end of the file (and looks for the
// table among the streams walked). Without a magic, walks every format's
// layout that way and takes, in this order: the one whose table was found
// (the most entries), the one a blank header area points to unless its walk
// finds nothing plausible (no evidence) where another's does, the one whose
// whole streams show more evidence of an encoder (StreamEvidence). May
// throw std::bad_alloc.
void PlanRecovery(ByteSource& source, RecoveryPlan& plan);

}  // namespace qev
