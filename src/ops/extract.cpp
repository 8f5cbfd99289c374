#include "ops/extract.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <type_traits>
#include <vector>

#include "coding/lzss.h"
#include "formats/extent.h"
#include "io/file_handle.h"
#include "io/member_buffer.h"
#include "io/output_file.h"
#include "io/path.h"
#include "ops/entries.h"

namespace qev {
namespace {

// The kernel copies a read fastest when the destination lies at the same
// offset within a cache line as the file position: a member of format 3,
// which starts 13 bytes into the archive, took almost three times as long
// to read into storage that malloc aligns to 16.
constexpr std::size_t kCacheLine = 64;

// Reads entry i's stored bytes into packed, at the offset within it that
// matches their file position, and decodes them into unpacked. Returns the
// decoder's checksum. Throws std::bad_alloc when the member does not fit in
// memory.
template <class Entry>
std::uint32_t DecodeMember(FileHandle& archive, const std::vector<Entry>& entries, std::size_t i,
                           std::uint32_t tableOffset, std::uint32_t archiveSize, ByteBuffer& packed,
                           ByteBuffer& unpacked) {
  const MemberExtent extent = FindMemberExtent(entries, i, tableOffset, archiveSize);
  ReserveForMember(packed, std::size_t{extent.length} + kCacheLine);
  const std::size_t shift =
      (extent.start - reinterpret_cast<std::uintptr_t>(packed.data())) % kCacheLine;
  packed.resize(shift + extent.length);
  const std::uint32_t length = archive.ReadAt(extent.start, extent.length, packed.data() + shift);
  // The stored size is only a hint, and a damaged one can be anything: no
  // stream decodes to more than eight bytes per stored byte.
  const std::uint64_t bound = 8 * static_cast<std::uint64_t>(length);
  ReserveForMember(unpacked,
                   static_cast<std::size_t>(std::min<std::uint64_t>(entries[i].size, bound)));
  return LzssDecodeBytes(packed.data() + shift, length, unpacked);
}

template <class Entry, class Header>
void ExtractEntries(ArchiveFormat format, const std::string& archivePath, const NameList* filter) {
  constexpr bool kIsFormat3 = std::is_same_v<Entry, Format3Entry>;
  std::vector<Entry> entries;
  Header header;
  if (!ReadIndex(archivePath, entries, &header)) return;
  PrintOpenLines(format, archivePath, entries.size());

  FileHandle archive;
  if (!archive.OpenRead(archivePath)) {
    std::fputs("file open error\n", stdout);
    return;
  }
  const std::uint32_t archiveSize = archive.GetSize();

  ByteBuffer packed;
  ByteBuffer unpacked;
  std::uint32_t extracted = 0;
  std::uint32_t total = 0;  // wraps modulo 2^32
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& entry = entries[i];
    const std::string name = EntryName(entry.name);
    if (!IsSelected(name, filter)) continue;
    std::printf("%s", name.c_str());

    std::uint32_t checksum = 0;
    try {
      checksum =
          DecodeMember(archive, entries, i, header.tableOffset, archiveSize, packed, unpacked);
    } catch (const std::bad_alloc&) {
      // Give back all the memory before the next member tries again.
      ByteBuffer().swap(packed);
      ByteBuffer().swap(unpacked);
      std::fputs(" ...too large\n", stdout);
      continue;
    }

    const FILETIME* time = nullptr;
    if constexpr (kIsFormat3) {
      if (checksum != entry.checksum) std::fputs(" ...checksum error", stdout);
      time = &entry.writeTime;
    }
    // Stored names are bare file names; anything else would reach outside
    // the current directory, and WriteOutputFile deletes before it creates.
    if (IsSafeMemberName(name) && WriteOutputFile(name, unpacked, time)) {
      total += entry.size;
      ++extracted;
      std::fputs(" ...OK\n", stdout);
    } else {
      std::fputs(" ...write error\n", stdout);
    }
  }
  PrintTotalLine(extracted, total);
}

}  // namespace

void ExtractArchive(ArchiveFormat format, const std::string& archivePath, const NameList* filter) {
  if (format == ArchiveFormat::kFormat3) {
    ExtractEntries<Format3Entry, Format3Header>(format, archivePath, filter);
  } else {
    ExtractEntries<Format4Entry, Format4Header>(format, archivePath, filter);
  }
}

}  // namespace qev
