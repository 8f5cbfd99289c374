#include "ops/open_archive.h"

namespace qev {

OpenStatus OpenArchiveAt(const std::string& path, OpenArchive& archive) {
  archive.format = nullptr;
  archive.index = ArchiveIndex();
  if (!archive.file.OpenRead(path)) return OpenStatus::kCannotOpen;
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
