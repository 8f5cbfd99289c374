// An archive opened once for everything a command reads of it: its format,
// its index and its member streams come through the one handle.
#pragma once

#include <string>

#include "formats/archive.h"
#include "io/file_handle.h"
#include "ops/streamed_archive.h"

namespace qev {

struct OpenArchive {
  FileHandle file;
  // Standard input that is no whole file (a pipe, a socket) is read once,
  // front to back: what can be read back of it.
  StreamedArchive stream;
  bool streamed = false;
  const ArchiveFormat* format = nullptr;
  ArchiveIndex index;

  ByteSource& Source() { return streamed ? static_cast<ByteSource&>(stream) : file; }
};

// The archive name that stands for standard input.
inline constexpr const char* kStandardInput = "-";

// Opens the archive at path for reading: the file, or for kStandardInput
// standard input, itself where it is a regular file read from its start,
// else a scratch copy of all it holds (a pipe, a socket). False when
// nothing could be opened, or the copy not made whole. progress, where not
// null, is told of every piece copied.
bool OpenArchiveFile(const std::string& path, FileHandle& file, ProgressCount* progress = nullptr);

enum class OpenStatus { kOpened, kCannotOpen, kNotArchive, kDamaged };

// Opens the file at path for reading, recognises its format and reads its
// index. Anything but kOpened leaves the index empty; the file stays open
// unless it could not be opened.
OpenStatus OpenArchiveAt(const std::string& path, OpenArchive& archive);

// The same for a command that only reads the archive, where kStandardInput
// names standard input. Standard input that is no whole file is read to
// its end, once: the member streams pass through region, when not null,
// and are then kept for reading back too (see StreamedArchive); without
// region they are passed over.
OpenStatus OpenArchiveToRead(const std::string& path, OpenArchive& archive, StreamRegion* region);

}  // namespace qev
