#include "ops/create.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <vector>

#include "coding/lzss_stream.h"
#include "io/file_handle.h"
#include "ops/compress_ahead.h"
#include "ops/store_member.h"
#include "ops/stream_batch.h"
#include "platform/platform.h"

namespace qev {
namespace {

// The archive goes to standard output in pieces of this size, each one
// step of the progress line.
constexpr std::uint32_t kOutputPiece = 4 * 1024 * 1024;

// Appends the table behind the last member stream, then goes back and
// writes the header over the zeroed header area. False when a write fails.
bool WriteTableAndHeader(const ArchiveFormat& format, const std::vector<Entry>& entries,
                         const NamePool& names, std::uint32_t tableOffset, bool compress,
                         FileHandle& archive, std::uint64_t* archiveSize) {
  ByteBuffer table;
  ByteBuffer header;
  format.encode(entries, names, tableOffset, compress, table, header);
  *archiveSize = std::uint64_t{tableOffset} + table.size();
  return archive.WriteAll(table) && archive.SeekTo(0) && archive.WriteAll(header);
}

// The sizes of all the files, for the progress line's total; 0 when
// nobody watches it.
std::uint64_t InputTotal(const NameList& names, const Report& report) {
  std::uint64_t total = 0;
  if (!report.ShowsProgress()) return total;
  for (const std::string_view name : names) total += FileSize(name);
  return total;
}

// Writes the whole archive into archive, an empty file. False, once a
// line has said why, when it cannot be finished.
bool WriteArchive(const ArchiveFormat& format, const NameList& names, bool compress,
                  FileHandle& archive, Report& report, std::uint64_t* archiveSize) {
  StreamBatch batch(archive, report);
  MemberStore store;
  store.format = &format;
  store.progress = {&report, 0, InputTotal(names, report)};

  std::vector<Entry> entries;
  try {
    entries.reserve(names.size());
    batch.Pending().reserve(StreamBatch::kFlushAt / 8 * 9 + 16);
  } catch (const std::bad_alloc&) {
    // Only hints failed; the members grow what they need as they come.
  }
  // Zeros until the header is written last: an archive whose creation
  // stops early carries no magic.
  const ByteBuffer zeros(format.headerSize);
  if (!archive.WriteAll(zeros)) {
    report.Line("write error", true);
    return false;
  }
  store.position = format.headerSize;
  batch.AddWritten(format.headerSize);

  // Compressing is slow enough to take a second thread; storing is not.
  std::optional<CompressAhead> ahead;
  if (compress) ahead.emplace(names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!StoreWithLine(names[i], names.Offset(i), ahead ? &*ahead : nullptr, i, compress, entries,
                       store, batch, report)) {
      return false;
    }
  }
  if (!batch.Flush()) return false;

  bool written = false;
  try {
    written = WriteTableAndHeader(format, entries, names.Pool(),
                                  static_cast<std::uint32_t>(store.position), compress, archive,
                                  archiveSize);
  } catch (const std::bad_alloc&) {
  }
  if (!written) report.Line("write error", true);
  return written;
}

// Writes the archive of compressed members whole into a scratch file, their
// streams' lengths being known only once they are made, and then copies it
// to standard output: a creation that stops sends nothing.
bool SpoolToOutput(const ArchiveFormat& format, const NameList& names, Report& report) {
  FileHandle scratch;
  if (!scratch.CreateScratch()) {
    report.Line("cannot create a scratch file", true);
    return false;
  }
  std::uint64_t size = 0;
  if (!WriteArchive(format, names, true, scratch, report, &size)) return false;
  ProgressCount progress{&report, 0, size};
  while (progress.done < size) {
    const auto piece =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kOutputPiece, size - progress.done));
    if (!scratch.CopyToOutput(static_cast<std::uint32_t>(progress.done), piece)) {
      report.Line("write error", true);
      return false;
    }
    progress.Add(piece, "-");
  }
  return true;
}

// The contents of small files read while the header is computed ahead,
// so that they are opened once: files of at most kMaxFile bytes, up to
// kLimit bytes in all. The others are opened again to be stored.
struct HeldFiles {
  static constexpr std::uint32_t kMaxFile = 64 * 1024;
  static constexpr std::size_t kLimit = 4 * 1024 * 1024;
  static constexpr std::size_t kNone = SIZE_MAX;
  ByteBuffer bytes;
  std::vector<std::size_t> at;  // per member, where its bytes start, or kNone

  const std::uint8_t* Of(std::size_t i) const {
    return at[i] == kNone ? nullptr : bytes.data() + at[i];
  }
};

// Checks every file as StoreMember would before its stream (name, opening,
// size, the archive's limit) and fills its entry: a stored stream's length
// follows from its file's size, and with it every offset and the header.
// Small files' bytes are kept in held. False, once the refused member's
// line has said why, when one fails.
bool PlanStored(const NameList& names, std::vector<Entry>& entries, HeldFiles& held,
                MemberStore& store, Report& report) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    FileHandle input;  // closed again at once: at most one file is open
    Entry entry;
    std::uint64_t tableBits = 0;
    StoreOutcome outcome = StoreOutcome::kTooLarge;
    try {
      outcome =
          BeginMember(std::string(names[i]), names.Offset(i), &input, 0, store, entry, &tableBits);
      std::size_t at = HeldFiles::kNone;
      if (outcome == StoreOutcome::kStored && entry.size <= HeldFiles::kMaxFile &&
          entry.size <= HeldFiles::kLimit - held.bytes.size()) {
        at = held.bytes.size();
        held.bytes.resize(at + entry.size);
        // A file that delivers less than its size is one that cannot be read.
        if (input.ReadAt(0, entry.size, held.bytes.data() + at) != entry.size) {
          outcome = StoreOutcome::kCannotOpen;
        }
        input.GetWriteTime(&entry.writeTime);
      }
      if (outcome == StoreOutcome::kStored) {
        entries.push_back(entry);
        held.at.push_back(at);
      }
    } catch (const std::bad_alloc&) {
      outcome = StoreOutcome::kTooLarge;
    }
    if (outcome != StoreOutcome::kStored) {
      report.Member(names[i]);
      report.Said(outcome == StoreOutcome::kCannotOpen ? Verdict::kCannotOpen : Verdict::kTooLarge);
      return false;
    }
    store.position += lzss::StoredStreamLength(entry.size);
    store.tableBits = tableBits;
    store.progress.total += entry.size;
  }
  return true;
}

// Writes an archive of stored members straight to standard output, the
// header first, computed ahead. Nothing goes out unless every file opens
// with a size that fits; one that then fails (a read error, a size that
// changed) stops the archive before its table, whose offset the header
// gives past the end of what went out: every reader takes that for a cut
// archive.
bool StreamStoredToOutput(const ArchiveFormat& format, const NameList& names, Report& report) {
  std::vector<Entry> entries;
  HeldFiles held;
  MemberStore store;
  store.format = &format;
  store.position = format.headerSize;
  store.progress = {&report, 0, 0};
  FileHandle output;
  StreamBatch batch(output, report);
  ByteBuffer table;
  ByteBuffer header;
  try {
    entries.reserve(names.size());
    held.at.reserve(names.size());
    batch.Pending().reserve(StreamBatch::kFlushAt / 8 * 9 + 16);
  } catch (const std::bad_alloc&) {
    // Only hints failed.
  }
  if (!PlanStored(names, entries, held, store, report)) return false;
  const auto tableOffset = static_cast<std::uint32_t>(store.position);
  bool sent = false;
  try {
    // The header holds no checksum nor time: only the count, the table
    // offset and (format 4) the table's plain length, all known now.
    format.encode(entries, names.Pool(), tableOffset, false, table, header);
    sent = output.OpenStandardOutput() && output.WriteAll(header);
  } catch (const std::bad_alloc&) {
  }
  if (!sent) {
    report.Line("write error", true);
    return false;
  }
  batch.AddWritten(format.headerSize);
  store.position = format.headerSize;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!StorePlannedWithLine(names[i], entries[i], held.Of(i), store, batch, report)) {
      return false;
    }
  }
  if (!batch.Flush()) return false;
  // Every stream had the length counted, so the header stands as sent.
  bool ended = false;
  try {
    ByteBuffer last;
    format.encode(entries, names.Pool(), tableOffset, false, table, last);
    ended = store.position == tableOffset && last == header && output.WriteAll(table);
  } catch (const std::bad_alloc&) {
  }
  if (!ended) report.Line("write error", true);
  return ended;
}

}  // namespace

void CreateArchive(const ArchiveFormat& format, const std::string& archivePath,
                   const NameList& names, bool compress, Report& report) {
  // Whatever stands at the path goes first; a file that cannot be deleted
  // makes the creation fail, and then nothing at all is done.
  platform::DeletePath(archivePath.c_str());
  FileHandle archive;
  if (!archive.CreateNew(archivePath)) return;
  std::uint64_t size = 0;
  bool finished = WriteArchive(format, names, compress, archive, report, &size);
  // A close that fails may have lost buffered bytes of the archive.
  if (finished && !archive.Close()) {
    report.Line("write error", true);
    finished = false;
  }
  if (!finished) {
    // An archive that cannot be finished is not left behind.
    archive.Close();
    platform::DeletePath(archivePath.c_str());
    return;
  }
  report.Created(static_cast<std::uint32_t>(names.size()));
}

void CreateArchiveToOutput(const ArchiveFormat& format, const NameList& names, bool compress,
                           Report& report) {
  if (platform::IsTerminal(platform::StandardStream::kOutput)) {
    report.Line("standard output is a terminal: no archive is written there", true);
    return;
  }
  const bool written =
      compress ? SpoolToOutput(format, names, report) : StreamStoredToOutput(format, names, report);
  if (written) report.Created(static_cast<std::uint32_t>(names.size()));
}

}  // namespace qev
