#include "ops/open_archive.h"

#include <new>

#include "types.h"

namespace qev {

bool OpenArchiveFile(const std::string& path, FileHandle& file, ProgressCount* progress) {
  if (path != kStandardInput) return file.OpenRead(path);
  bool wholeFile = false;
  if (!file.OpenStandardInput(&wholeFile)) return false;
  if (wholeFile) return true;
  FileHandle input;
  input.TakeFrom(file);
  if (!file.CreateScratch()) return false;
  ByteBuffer piece(256 * 1024);
  for (;;) {
    const std::uint32_t got =
        input.ReadNext(piece.data(), static_cast<std::uint32_t>(piece.size()));
    if (got > 0 && file.Write(piece.data(), got) != got) return false;
    if (progress != nullptr) progress->Add(got, "-");
    if (got < piece.size()) return true;
  }
}

namespace {

OpenStatus ReadIndexOf(OpenArchive& archive) {
  switch (ReadArchiveIndex(archive.Source(), &archive.format, archive.index)) {
    case IndexStatus::kRead:
      return OpenStatus::kOpened;
    case IndexStatus::kNotArchive:
      return OpenStatus::kNotArchive;
    case IndexStatus::kDamaged:
      break;
  }
  return OpenStatus::kDamaged;
}

}  // namespace

OpenStatus OpenArchiveAt(const std::string& path, OpenArchive& archive) {
  archive.format = nullptr;
  archive.index = ArchiveIndex();
  archive.streamed = false;
  if (!archive.file.OpenRead(path)) return OpenStatus::kCannotOpen;
  return ReadIndexOf(archive);
}

OpenStatus OpenArchiveToRead(const std::string& path, OpenArchive& archive, StreamRegion* region) {
  if (path != kStandardInput) return OpenArchiveAt(path, archive);
  archive.format = nullptr;
  archive.index = ArchiveIndex();
  bool wholeFile = false;
  if (!archive.file.OpenStandardInput(&wholeFile)) return OpenStatus::kCannotOpen;
  archive.streamed = !wholeFile;
  try {
    if (archive.streamed) archive.stream.Read(archive.file, region, region != nullptr);
  } catch (const std::bad_alloc&) {
    // What memory cannot hold of the archive leaves it unread, as an index
    // too large for memory does.
    return OpenStatus::kDamaged;
  }
  return ReadIndexOf(archive);
}

}  // namespace qev
