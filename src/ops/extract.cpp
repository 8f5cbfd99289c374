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
#include "io/output_file.h"
#include "io/path.h"
#include "ops/entries.h"

namespace qev {
namespace {

// The stored stream is read in pieces of this size, a multiple of the
// cache line.
constexpr std::uint32_t kPiece = 256 * 1024;

// The kernel copies a read fastest when the destination lies at the same
// offset within a cache line as the file position: a member of format 3,
// which starts 13 bytes into the archive, took almost three times as long
// to read into storage that malloc aligns to 16.
constexpr std::size_t kCacheLine = 64;

// What decoding one member after another reuses: the decoder, and the
// piece of the archive read last. Members lie back to back, so one read of
// a piece serves every small member in it.
struct MemberDecoding {
  ByteBuffer buffer;
  const std::uint8_t* piece = nullptr;  // in buffer, at the file position's cache-line offset
  std::uint32_t start = 0;              // the piece's position in the archive
  std::uint32_t size = 0;
  LzssDecoder decoder;
};

// Reads the stored stream in extent piece by piece and decodes it, handing
// every piece of output in turn to sink(data, size). Returns the decoder's
// checksum. The stored size is only a hint, and a damaged one can be
// anything: no stream decodes to more than eight bytes per stored byte
// (and one last token), whatever the size says.
// The stored checksum; format 4 keeps none.
std::uint32_t EntryChecksum(const Format3Entry& entry) { return entry.checksum; }
std::uint32_t EntryChecksum(const Format4Entry&) { return 0; }

template <class Sink>
std::uint32_t DecodeMember(FileHandle& archive, MemberExtent extent, MemberDecoding& decoding,
                           Sink&& sink) {
  if (decoding.buffer.empty()) {
    decoding.buffer.resize(kPiece + kCacheLine);
    decoding.piece = decoding.buffer.data();
  }
  LzssDecoder& decoder = decoding.decoder;
  decoder.Reset();
  std::uint32_t next = extent.start;  // the next stored byte for the decoder
  std::uint32_t left = extent.length;
  while (!decoder.Ended()) {
    const std::uint64_t pieceEnd = std::uint64_t{decoding.start} + decoding.size;
    if (left > 0 && (next < decoding.start || next >= pieceEnd)) {
      const std::size_t shift =
          (next - reinterpret_cast<std::uintptr_t>(decoding.buffer.data())) % kCacheLine;
      std::uint8_t* const piece = decoding.buffer.data() + shift;
      decoding.piece = piece;
      decoding.start = next;
      decoding.size = archive.ReadAt(next, kPiece, piece);
      // A piece that ends within the extent ends it: the archive ended, or
      // a read failed, before the stored bytes did.
      if (decoding.size < std::min(left, kPiece)) left = decoding.size;
      continue;
    }
    const std::uint32_t ready =
        left == 0 ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(left, pieceEnd - next));
    const std::uint8_t* const at = decoding.piece + (left == 0 ? 0 : next - decoding.start);
    const auto used = static_cast<std::uint32_t>(decoder.Decode(at, ready, ready == left));
    next += used;
    left -= used;
    if (decoder.OutputSize() > 0) sink(decoder.Output(), decoder.OutputSize());
  }
  return decoder.Checksum();
}

// Extracts the selected members, or with `test` only decodes them, writing
// nothing.
template <class Entry, class Header>
void ExtractEntries(ArchiveFormat format, const std::string& archivePath, const NameList* filter,
                    bool test) {
  constexpr bool kIsFormat3 = std::is_same_v<Entry, Format3Entry>;
  ArchiveIndex<Entry> index;
  Header header;
  if (!ReadIndex(archivePath, index, &header)) return;
  const std::vector<Entry>& entries = index.entries;
  PrintOpenLines(format, archivePath, entries.size());

  FileHandle archive;
  if (!archive.OpenRead(archivePath)) {
    std::fputs("file open error\n", stdout);
    return;
  }
  const std::uint32_t archiveSize = archive.GetSize();

  MemberDecoding decoding;
  std::uint32_t extracted = 0;
  std::uint32_t total = 0;  // wraps modulo 2^32
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Entry& entry = entries[i];
    const std::string name(index.Name(entry));
    if (!IsSelected(name, filter)) continue;
    std::printf("%s", name.c_str());

    // Stored names are bare file names; anything else would reach outside
    // the current directory, and a member replaces a file of its name. A
    // member that cannot be written is still decoded, for its checksum.
    OutputFile file;
    const bool writable = !test && IsSafeMemberName(name) && file.Open(name);
    const MemberExtent extent = FindMemberExtent(entries, i, header.tableOffset, archiveSize);
    std::uint32_t checksum = 0;
    std::uint64_t decoded = 0;
    try {
      checksum =
          DecodeMember(archive, extent, decoding, [&](const std::uint8_t* data, std::size_t size) {
            decoded += size;
            if (writable) file.Write(data, size);
          });
    } catch (const std::bad_alloc&) {
      std::fputs(" ...too large\n", stdout);
      continue;
    }

    if (test) {
      // One verdict per member, the first that applies.
      if (kIsFormat3 && checksum != EntryChecksum(entry)) {
        std::fputs(" ...checksum error\n", stdout);
      } else if (decoded != entry.size) {
        std::fputs(" ...size error\n", stdout);
      } else {
        total += entry.size;
        ++extracted;
        std::fputs(" ...OK\n", stdout);
      }
      continue;
    }
    const FILETIME* time = nullptr;
    if constexpr (kIsFormat3) {
      if (checksum != entry.checksum) std::fputs(" ...checksum error", stdout);
      time = &entry.writeTime;
    }
    if (writable && file.Commit(time)) {
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
    ExtractEntries<Format3Entry, Format3Header>(format, archivePath, filter, false);
  } else {
    ExtractEntries<Format4Entry, Format4Header>(format, archivePath, filter, false);
  }
}

void TestArchive(ArchiveFormat format, const std::string& archivePath, const NameList* filter) {
  if (format == ArchiveFormat::kFormat3) {
    ExtractEntries<Format3Entry, Format3Header>(format, archivePath, filter, true);
  } else {
    ExtractEntries<Format4Entry, Format4Header>(format, archivePath, filter, true);
  }
}

}  // namespace qev
