// An archive opened once for everything a command reads of it: its format,
// its index and its member streams come through the one handle.
#pragma once

#include <string>

#include "formats/archive.h"
#include "io/file_handle.h"

namespace qev {

struct OpenArchive {
  FileHandle file;
  const ArchiveFormat* format = nullptr;
  ArchiveIndex index;
};

enum class OpenStatus { kOpened, kCannotOpen, kNotArchive, kDamaged };

// Opens the file at path for reading, recognises its format and reads its
// index. Anything but kOpened leaves the index empty; the file stays open
// unless it could not be opened.
OpenStatus OpenArchiveAt(const std::string& path, OpenArchive& archive);

}  // namespace qev
