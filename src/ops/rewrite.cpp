#include "ops/rewrite.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string>

#include "io/file_handle.h"
#include "ops/compress_ahead.h"
#include "ops/store_member.h"
#include "ops/stream_batch.h"
#include "platform/platform.h"

namespace qev {
namespace {

// Names tried in turn for the new archive beside the old one; one left by
// a run that was killed is not overwritten.
constexpr int kTemporaryNames = 100;

// Untouched streams are copied in pieces of at most this size, each one
// step of the progress line.
constexpr std::uint32_t kCopyPiece = 16 * 1024 * 1024;

bool ExtentsFit(const ArchiveFormat& format, const ArchiveIndex& index) {
  std::uint32_t next = format.headerSize;
  for (std::size_t i = 0; i < index.entries.size(); ++i) {
    const std::uint32_t offset = index.entries[i].offset;
    if (i == 0 ? offset != next : offset < next) return false;
    next = offset;
  }
  return next <= index.tableOffset && index.tableOffset <= index.archiveSize;
}

// The new archive while it is written: removed, unless kept, when it goes
// out of scope, whatever its permission bits.
struct TemporaryArchive {
  FileHandle file;
  std::string path;

  ~TemporaryArchive() {
    if (path.empty()) return;
    file.Close();
    platform::DeleteOwnFile(path.c_str());
  }
  bool Create(const std::string& beside) {
    for (int i = 0; i < kTemporaryNames; ++i) {
      std::string name = beside + ".qev-" + std::to_string(i) + ".tmp";
      if (file.CreateTemporary(name)) {
        path = std::move(name);
        return true;
      }
    }
    return false;
  }
};

// Everything the rewrite keeps while it walks the new members.
struct Rewrite {
  const ArchiveFormat& format;
  const ArchiveIndex& old;
  FileHandle& source;
  FileHandle& out;
  Report& report;
  StreamBatch batch;
  MemberStore store;
  std::vector<Entry> entries;
  NamePool names;              // the new table's names
  std::uint32_t runStart = 0;  // untouched streams that wait to be copied
  std::uint32_t runLength = 0;

  // Copies the untouched streams that wait, after the stored ones before
  // them. False, after a line that says so, when a write fails.
  bool CopyRun() {
    if (runLength == 0) return true;
    if (!batch.Flush()) return false;
    for (std::uint32_t done = 0; done < runLength;) {
      const std::uint32_t piece = std::min(kCopyPiece, runLength - done);
      if (!out.CopyFrom(source, runStart + done, piece)) {
        LeftAsItIs(report, "write error");
        return false;
      }
      done += piece;
      store.progress.Add(piece, {});
    }
    batch.AddWritten(runLength);
    runLength = 0;
    return true;
  }

  // Old entry i takes the next place; its stream joins the run to copy.
  bool Keep(std::size_t i) {
    const Entry& entry = old.entries[i];
    const MemberExtent extent = FindMemberExtent(old, i);
    if (runLength > 0 && std::uint64_t{runStart} + runLength != extent.start && !CopyRun()) {
      return false;
    }
    if (runLength == 0) runStart = extent.start;
    const std::uint64_t bits = store.tableBits + format.entryTableBits(entry.nameLength);
    if (store.position + extent.length + TableBytes(bits) > kMaxArchiveSize) {
      LeftAsItIs(report, "too large");
      return false;
    }
    Entry copy = entry;
    copy.offset = static_cast<std::uint32_t>(store.position);
    copy.nameOffset = names.Add(old.Name(entry));
    entries.push_back(copy);
    runLength += extent.length;
    store.position += extent.length;
    store.tableBits = bits;
    return true;
  }

  // Stores the file that path names in the next place, as creation does.
  bool Store(std::string_view path, CompressAhead& ahead, std::size_t index) {
    return CopyRun() &&
           StoreWithLine(path, names.Add(path), &ahead, index, true, entries, store, batch, report);
  }

  // The table behind the last stream, then the header over the zeros; the
  // archive's permission bits once the file is whole, as it is about to
  // take the archive's place.
  bool Finish() {
    if (!CopyRun() || !batch.Flush()) return false;
    ByteBuffer table;
    ByteBuffer header;
    format.encode(entries, names, static_cast<std::uint32_t>(store.position), true, table, header);
    if (store.position + table.size() > kMaxArchiveSize) {
      LeftAsItIs(report, "too large");
      return false;
    }
    if (!out.WriteAll(table) || !out.SeekTo(0) || !out.WriteAll(header) || !out.Flush() ||
        !out.CopyPermissionsFrom(source) || !out.Close()) {
      LeftAsItIs(report, "write error");
      return false;
    }
    return true;
  }
};

bool WriteNewArchive(Rewrite& rewrite, const std::vector<NewMember>& members,
                     const NameList& files) {
  NameList order;  // the files in the order they are stored
  // The progress line counts the streams copied and the files read.
  ProgressCount& progress = rewrite.store.progress;
  progress.report = &rewrite.report;
  for (const NewMember& member : members) {
    if (member.store) {
      order.push_back(files[member.index]);
      if (progress.report->ShowsProgress()) progress.total += FileSize(files[member.index]);
    } else {
      progress.total += FindMemberExtent(rewrite.old, member.index).length;
    }
  }
  rewrite.entries.reserve(members.size());
  rewrite.batch.Pending().reserve(StreamBatch::kFlushAt / 8 * 9 + 16);
  // Zeros until the header is written last, as creation writes them.
  const ByteBuffer zeros(rewrite.format.headerSize);
  if (!rewrite.out.WriteAll(zeros)) {
    LeftAsItIs(rewrite.report, "write error");
    return false;
  }
  rewrite.store.position = rewrite.format.headerSize;
  rewrite.batch.AddWritten(rewrite.format.headerSize);

  std::optional<CompressAhead> ahead;
  if (!order.empty()) ahead.emplace(order);
  std::size_t stored = 0;
  for (const NewMember& member : members) {
    if (!member.store) {
      if (!rewrite.Keep(member.index)) return false;
      continue;
    }
    if (!rewrite.Store(order[stored], *ahead, stored)) return false;
    ++stored;
  }
  return rewrite.Finish();
}

}  // namespace

void LeftAsItIs(Report& report, std::string_view why) {
  report.Line(std::string(why) + ", archive left as it is", true);
}

ModifyOpen OpenForModify(const std::string& path, ArchiveToModify& target, Report& report) {
  if (!platform::PathExists(path.c_str())) return ModifyOpen::kMissing;
  OpenStatus status = OpenStatus::kCannotOpen;
  if (platform::ResolvePath(path.c_str(), &target.path)) {
    status = OpenArchiveAt(target.path, target.archive);
  }
  std::uint64_t size = 0;
  if (status == OpenStatus::kOpened &&
      (!target.archive.file.GetFullSize(&size) || size > kMaxArchiveSize ||
       !ExtentsFit(*target.archive.format, target.archive.index))) {
    status = OpenStatus::kDamaged;
  }
  switch (status) {
    case OpenStatus::kCannotOpen:
      LeftAsItIs(report, "cannot open the archive");
      return ModifyOpen::kRefused;
    case OpenStatus::kNotArchive:
      LeftAsItIs(report, "not an archive");
      return ModifyOpen::kRefused;
    case OpenStatus::kDamaged:
      LeftAsItIs(report, "damaged archive (qev r recovers its members)");
      return ModifyOpen::kRefused;
    case OpenStatus::kOpened:
      break;
  }
  // The rename that replaces the archive needs only the directory's
  // permission: an archive that is read-only, or that the person may not
  // write, is refused here, before any work.
  if (!platform::MayWrite(target.path.c_str())) {
    LeftAsItIs(report, "read-only archive");
    return ModifyOpen::kRefused;
  }
  return ModifyOpen::kOpened;
}

bool RewriteArchive(ArchiveToModify& target, const std::vector<NewMember>& members,
                    const NameList& files, Report& report) {
  TemporaryArchive temporary;
  if (!temporary.Create(target.path)) {
    LeftAsItIs(report, "write error");
    return false;
  }
  OpenArchive& archive = target.archive;
  bool written = false;
  {
    Rewrite rewrite{*archive.format, archive.index,
                    archive.file,    temporary.file,
                    report,          StreamBatch(temporary.file, report),
                    MemberStore(),   {},
                    NamePool()};
    rewrite.store.format = archive.format;
    try {
      written = WriteNewArchive(rewrite, members, files);
    } catch (const std::bad_alloc&) {
      LeftAsItIs(report, "out of memory");
    }
  }
  if (!written) return false;
  // The archive is closed first: while it is open, nobody may replace it.
  if (!archive.file.Close() ||
      !platform::ReplacePath(temporary.path.c_str(), target.path.c_str())) {
    LeftAsItIs(report, "cannot replace the archive");
    return false;
  }
  temporary.path.clear();
  return true;
}

}  // namespace qev
