#include "ops/open_archive.h"

#include "types.h"

namespace qev {

bool OpenArchiveFile(const std::string& path, FileHandle& file) {
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
    if (got < piece.size()) return true;
  }
}

OpenStatus OpenArchiveAt(const std::string& path, OpenArchive& archive) {
  archive.format = nullptr;
  archive.index = ArchiveIndex();
  if (!OpenArchiveFile(path, archive.file)) return OpenStatus::kCannotOpen;
  switch (ReadArchiveIndex(archive.file, &archive.format, archive.index)) {
    case IndexStatus::kRead:
      return OpenStatus::kOpened;
    case IndexStatus::kNotArchive:
      return OpenStatus::kNotArchive;
    case IndexStatus::kDamaged:
      break;
  }
  return OpenStatus::kDamaged;
}

}  // namespace qev
