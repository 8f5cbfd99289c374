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

// The archive name that stands for standard input.
inline constexpr const char* kStandardInput = "-";

// Opens the archive at path for reading: the file, or for kStandardInput
// standard input, itself where it is a regular file read from its start,
// else a scratch copy of all it holds (a pipe, a socket). False when
// nothing could be opened, or the copy not made whole.
bool OpenArchiveFile(const std::string& path, FileHandle& file);

enum class OpenStatus { kOpened, kCannotOpen, kNotArchive, kDamaged };

// Opens the file at path for reading, recognises its format and reads its
// index. Anything but kOpened leaves the index empty; the file stays open
// unless it could not be opened.
OpenStatus OpenArchiveAt(const std::string& path, OpenArchive& archive);

}  // namespace qev
