#include "formats/archive.h"

#include <algorithm>
#include <new>

#include "formats/format3.h"
#include "formats/format4.h"

namespace qev {
namespace {

// The one place where formats are listed.
const ArchiveFormat* const kFormats[] = {&kFormat3, &kFormat4};

std::uint32_t LoadMagic(const std::uint8_t* head) {
  return std::uint32_t{head[0]} | std::uint32_t{head[1]} << 8 | std::uint32_t{head[2]} << 16 |
         std::uint32_t{head[3]} << 24;
}

}  // namespace

std::span<const ArchiveFormat* const> ArchiveFormats() { return kFormats; }

const ArchiveFormat* RecogniseArchive(const std::uint8_t* head, std::size_t size) {
  std::uint8_t bytes[4] = {};
  std::copy_n(head, std::min<std::size_t>(size, 4), bytes);
  const std::uint32_t magic = LoadMagic(bytes);
  for (const ArchiveFormat* format : kFormats) {
    if (format->magic == magic) return format;
  }
  return nullptr;
}

const ArchiveFormat* FormatOfBlankHeader(const std::uint8_t* head, std::size_t size) {
  std::size_t zeros = 0;
  while (zeros < size && head[zeros] == 0) ++zeros;
  const ArchiveFormat* widest = nullptr;
  for (const ArchiveFormat* format : kFormats) {
    if (format->headerSize <= zeros &&
        (widest == nullptr || format->headerSize > widest->headerSize)) {
      widest = format;
    }
  }
  return widest;
}

const ArchiveFormat* FormatForDigit(char digit) {
  for (const ArchiveFormat* format : kFormats) {
    if (format->digit == digit) return format;
  }
  return nullptr;
}

IndexStatus ReadArchiveIndex(ByteSource& source, const ArchiveFormat** format,
                             ArchiveIndex& index) {
  index = ArchiveIndex();
  std::uint8_t head[4] = {};
  const ArchiveFormat* found = RecogniseArchive(head, source.ReadAt(0, sizeof head, head));
  if (found == nullptr) return IndexStatus::kNotArchive;
  *format = found;
  try {
    if (found->readIndex(source, index)) return IndexStatus::kRead;
  } catch (const std::bad_alloc&) {
    // A forged count can ask for more entries than memory holds; such an
    // index is turned away like any other that cannot be read, instead of
    // ending the process.
  }
  index = ArchiveIndex();
  return IndexStatus::kDamaged;
}

MemberExtent ClampExtent(std::uint32_t start, std::uint32_t end, std::uint32_t archiveSize) {
  if (start >= archiveSize) return {start, 0};
  // A damaged index may put the next offset before this one; the stored
  // bytes then run to the end of the archive rather than wrapping to a
  // length near 4 GiB.
  if (end < start || end > archiveSize) end = archiveSize;
  return {start, end - start};
}

MemberExtent FindMemberExtent(const ArchiveIndex& index, std::size_t i) {
  const std::uint32_t end =
      i + 1 < index.entries.size() ? index.entries[i + 1].offset : index.tableOffset;
  return ClampExtent(index.entries[i].offset, end, index.archiveSize);
}

}  // namespace qev
