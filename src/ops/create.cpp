#include "ops/create.h"

#include <algorithm>
#include <new>
#include <optional>
#include <vector>

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
  // Both formats begin with the header, which holds the table's offset: the
  // archive is made whole in a scratch file, and only then does its first
  // byte go out, so that a creation that stops gives the reader nothing.
  if (platform::IsTerminal(platform::StandardStream::kOutput)) {
    report.Line("standard output is a terminal: no archive is written there", true);
    return;
  }
  FileHandle scratch;
  if (!scratch.CreateScratch()) {
    report.Line("cannot create a scratch file", true);
    return;
  }
  std::uint64_t size = 0;
  if (!WriteArchive(format, names, compress, scratch, report, &size)) return;
  ProgressCount progress{&report, 0, size};
  while (progress.done < size) {
    const auto piece =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(kOutputPiece, size - progress.done));
    if (!scratch.CopyToOutput(static_cast<std::uint32_t>(progress.done), piece)) {
      report.Line("write error", true);
      return;
    }
    progress.Add(piece, "-");
  }
  report.Created(static_cast<std::uint32_t>(names.size()));
}

}  // namespace qev
