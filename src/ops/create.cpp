#include "ops/create.h"

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

// Appends the table behind the last member stream, then goes back and
// writes the header over the zeroed header area. False when a write fails.
bool WriteTableAndHeader(const ArchiveFormat& format, const std::vector<Entry>& entries,
                         const NamePool& names, std::uint32_t tableOffset, bool compress,
                         FileHandle& archive) {
  ByteBuffer table;
  ByteBuffer header;
  format.encode(entries, names, tableOffset, compress, table, header);
  return archive.WriteAll(table) && archive.SeekTo(0) && archive.WriteAll(header);
}

// Closes the archive and removes it: an archive that cannot be finished
// is not left behind.
void Abandon(FileHandle& archive, const std::string& archivePath) {
  archive.Close();
  platform::DeletePath(archivePath.c_str());
}

}  // namespace

void CreateArchive(const ArchiveFormat& format, const std::string& archivePath,
                   const NameList& names, bool compress, Report& report) {
  // Whatever stands at the path goes first; a file that cannot be deleted
  // makes the creation fail, and then nothing at all is done.
  platform::DeletePath(archivePath.c_str());
  FileHandle archive;
  if (!archive.CreateNew(archivePath)) return;
  StreamBatch batch(archive, report);
  MemberStore store;
  store.format = &format;

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
    Abandon(archive, archivePath);
    return;
  }
  store.position = format.headerSize;
  batch.AddWritten(format.headerSize);

  // Compressing is slow enough to take a second thread; storing is not.
  std::optional<CompressAhead> ahead;
  if (compress) ahead.emplace(names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (StoreWithLine(names[i], names.Offset(i), ahead ? &*ahead : nullptr, i, compress, entries,
                      store, batch, report)) {
      continue;
    }
    Abandon(archive, archivePath);
    return;
  }
  if (!batch.Flush()) {
    Abandon(archive, archivePath);
    return;
  }

  bool written = false;
  try {
    written = WriteTableAndHeader(format, entries, names.Pool(),
                                  static_cast<std::uint32_t>(store.position), compress, archive);
  } catch (const std::bad_alloc&) {
  }
  // A close that fails may have lost buffered bytes of the archive.
  if (!written || !archive.Close()) {
    report.Line("write error", true);
    Abandon(archive, archivePath);
    return;
  }
  report.Created(static_cast<std::uint32_t>(names.size()));
}

}  // namespace qev
