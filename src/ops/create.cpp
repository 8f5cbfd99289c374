#include "ops/create.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "coding/bit_stream.h"
#include "coding/lzss.h"
#include "coding/lzss_compress.h"
#include "formats/format3.h"
#include "formats/format4.h"
#include "io/file_handle.h"
#include "io/path.h"
#include "ops/compress_ahead.h"
#include "platform/platform.h"

namespace qev {
namespace {

// Inputs are read and encoded in pieces of this size.
constexpr std::uint32_t kPiece = 1024 * 1024;

// Every offset and size is a 32-bit number, and the readers take the
// archive's size from the low 32 bits of the file size: an archive that
// reaches 4 GiB could not be read back whole.
constexpr std::uint64_t kMaxArchiveSize = UINT32_MAX;

constexpr std::size_t kMaxNameLength = 255;

// kReported: a write failed, and Flush has said so.
enum class Outcome { kStored, kCannotOpen, kTooLarge, kReported };

// What one run of creation holds from the first member to the header.
struct Builder {
  FileHandle archive;
  const NamePool* names = nullptr;  // the list's names, which the entries share
  // Stream bytes not yet written: small members' streams go out many at a
  // time, and the lines that report those members wait with them, so that
  // " ...OK" is said only of a member whose stream is in the archive.
  ByteBuffer packed;
  std::string report;
  struct Held {
    std::uint64_t streamEnd;  // where the member's stream ends in the archive
    std::size_t nameEnd;      // where its name ends in report
  };
  std::vector<Held> held;       // the members reported with " ...OK" in report
  std::uint64_t written = 0;    // the bytes in the archive
  ByteBuffer data;              // a piece of a member's contents, then (format 4) the plain table
  std::uint64_t position = 0;   // where the next member stream starts
  std::uint64_t tableBits = 0;  // upper bound of the table for the members stored so far
};

// Writes the stream bytes that wait. When all went out, prints the lines
// that waited with them and returns true. Otherwise prints what writing
// each stream at once would have: the lines of the members whose streams
// are whole in the archive, then the name of the first that is not and
// " ...write error", and returns false.
bool Flush(Builder& builder) {
  const auto size = static_cast<std::uint32_t>(builder.packed.size());
  const std::uint32_t done = size == 0 ? 0 : builder.archive.Write(builder.packed.data(), size);
  builder.written += done;
  builder.packed.clear();
  std::size_t shown = builder.report.size();
  if (done != size) {
    // The member being stored, whose name ends the report, unless an
    // earlier one is cut.
    for (const Builder::Held& member : builder.held) {
      if (member.streamEnd > builder.written) {
        shown = member.nameEnd;
        break;
      }
    }
  }
  std::fwrite(builder.report.data(), 1, shown, stdout);
  if (done != size) std::fputs(" ...write error\n", stdout);
  builder.report.clear();
  builder.held.clear();
  return done == size;
}

// LzssStore writes nine bits per byte and a 14-bit end marker; no member
// encoder writes more.
std::uint64_t StreamLength(std::uint64_t plainLength) { return (9 * plainLength + 14 + 7) / 8; }

// At most what an entry adds to the stored table: format 3 packs five
// numbers of up to 34 bits and the name's bytes with its NUL; format 4
// stores the name, its NUL and 12 bytes of numbers as nine-bit literals.
template <class Entry>
std::uint64_t EntryTableBits(std::size_t nameLength) {
  if constexpr (std::is_same_v<Entry, Format3Entry>) {
    return 5 * 34 + 8 * (static_cast<std::uint64_t>(nameLength) + 1);
  } else {
    return 9 * (static_cast<std::uint64_t>(nameLength) + 1 + 12);
  }
}

// The table's bytes for that many bits, with room for the end marker.
std::uint64_t TableBytes(std::uint64_t bits) { return (bits + 7) / 8 + 2; }

bool WriteAll(FileHandle& file, const ByteBuffer& bytes) {
  const auto size = static_cast<std::uint32_t>(bytes.size());
  return bytes.size() <= UINT32_MAX && file.Write(bytes.data(), size) == size;
}

// Stores the file that name gives as the member described by entry, and
// appends its stream to the archive, a piece at a time, as Encoder makes
// it (see LzssStoreEncoder), or the stream prepared for it if there is one.
// name lies at nameOffset in the builder's names.
template <class Encoder, class Entry>
Outcome StoreMember(const std::string& name, std::uint32_t nameOffset, Entry& entry,
                    Builder& builder, const PreparedMember& prepared) {
  // Only a bare name is stored: the end of name, which the entry shares.
  // One that does not fit the table, or that no extraction would write,
  // cannot be archived.
  const std::string bare = BareName(name);
  if (bare.size() > kMaxNameLength || !IsSafeMemberName(bare)) return Outcome::kCannotOpen;
  entry.nameOffset = nameOffset + static_cast<std::uint32_t>(name.size() - bare.size());
  entry.nameLength = static_cast<std::uint8_t>(bare.size());
  entry.offset = static_cast<std::uint32_t>(builder.position);

  FileHandle input;
  std::uint64_t fullSize = prepared.size;
  if (!prepared.ready && (!input.OpenRead(name) || !input.GetFullSize(&fullSize))) {
    return Outcome::kCannotOpen;
  }
  // Checked before anything is read, so that an input far too big costs
  // neither memory nor time.
  const std::uint64_t tableBits = builder.tableBits + EntryTableBits<Entry>(bare.size());
  if (fullSize > UINT32_MAX ||
      builder.position + StreamLength(fullSize) + TableBytes(tableBits) > kMaxArchiveSize) {
    return Outcome::kTooLarge;
  }
  const auto size = static_cast<std::uint32_t>(fullSize);
  entry.size = size;
  if constexpr (std::is_same_v<Entry, Format3Entry>) {
    if (!prepared.ready) {
      input.GetWriteTime(&entry.writeTime);
    } else if (prepared.hasWriteTime) {
      entry.writeTime = prepared.writeTime;
    }
  } else {
    entry.reserved = 0;
  }
  if (prepared.ready) {
    builder.packed.insert(builder.packed.end(), prepared.stream.begin(), prepared.stream.end());
    if constexpr (std::is_same_v<Entry, Format3Entry>) entry.checksum = prepared.checksum;
    builder.position += prepared.stream.size();
    builder.tableBits = tableBits;
    return Outcome::kStored;
  }

  builder.data.resize(kPiece);
  Encoder encoder;
  std::uint64_t streamLength = 0;
  for (std::uint32_t done = 0; done < size;) {
    const std::uint32_t piece = std::min(kPiece, size - done);
    // A file that delivers less than its size has changed or cannot be
    // read: storing zeros in place of its bytes would lose them unseen.
    if (input.ReadAt(done, piece, builder.data.data()) != piece) return Outcome::kCannotOpen;
    done += piece;
    const std::size_t before = builder.packed.size();
    encoder.Put(builder.data.data(), piece, builder.packed);
    streamLength += builder.packed.size() - before;
    if (builder.packed.size() >= kPiece && !Flush(builder)) return Outcome::kReported;
  }
  const std::size_t before = builder.packed.size();
  const std::uint32_t checksum = encoder.Finish(builder.packed);
  streamLength += builder.packed.size() - before;
  if constexpr (std::is_same_v<Entry, Format3Entry>) entry.checksum = checksum;
  builder.position += streamLength;
  builder.tableBits = tableBits;
  return Outcome::kStored;
}

void PutLittleEndian(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Appends the table behind the last member stream, then goes back and
// writes the header over the zeroed header area. False when a write fails.
template <class Encoder>
bool WriteTableAndHeader(const std::vector<Format3Entry>& entries, Builder& builder) {
  const auto tableOffset = static_cast<std::uint32_t>(builder.position);
  BitWriter writer;
  writer.Reset(builder.packed);
  EncodeFormat3Table(entries, *builder.names, writer);
  if (!WriteAll(builder.archive, builder.packed) || !builder.archive.SeekTo(0)) return false;
  writer.Reset(builder.packed);
  EncodeFormat3Header(static_cast<std::uint32_t>(entries.size()), tableOffset, writer);
  return WriteAll(builder.archive, builder.packed);
}

template <class Encoder>
bool WriteTableAndHeader(const std::vector<Format4Entry>& entries, Builder& builder) {
  const auto tableOffset = static_cast<std::uint32_t>(builder.position);
  BuildFormat4Table(entries, *builder.names, builder.data);
  if constexpr (std::is_same_v<Encoder, LzssCompressor>) {
    LzssCompress(builder.data, builder.packed);
  } else {
    LzssStore(builder.data, builder.packed);
  }
  if (!WriteAll(builder.archive, builder.packed) || !builder.archive.SeekTo(0)) return false;
  const std::uint32_t fields[4] = {kFormat4Magic, static_cast<std::uint32_t>(entries.size()),
                                   tableOffset, static_cast<std::uint32_t>(builder.data.size())};
  for (const std::uint32_t field : fields) {
    std::uint8_t bytes[4];
    PutLittleEndian(bytes, field);
    if (builder.archive.Write(bytes, 4) != 4) return false;
  }
  return true;
}

// Closes the archive and removes it: an archive that cannot be finished
// is not left behind.
void Abandon(Builder& builder, const std::string& archivePath) {
  builder.archive.Close();
  platform::DeletePath(archivePath.c_str());
}

template <class Entry, class Encoder>
void CreateEntries(std::uint32_t headerSize, const std::string& archivePath,
                   const NameList& names) {
  // Whatever stands at the path goes first; a file that cannot be deleted
  // makes the creation fail, and then nothing at all is done.
  platform::DeletePath(archivePath.c_str());
  Builder builder;
  builder.names = &names.Pool();
  if (!builder.archive.CreateNew(archivePath)) return;

  std::vector<Entry> entries;
  try {
    entries.reserve(names.size());
    builder.packed.reserve(kPiece / 8 * 9 + 16);
  } catch (const std::bad_alloc&) {
    // Only hints failed; the members grow what they need as they come.
  }
  // Zeros until the header is written last: an archive whose creation
  // stops early carries no magic.
  const std::uint8_t zeros[kFormat4HeaderSize] = {};
  static_assert(kFormat3HeaderArea <= kFormat4HeaderSize);
  if (builder.archive.Write(zeros, headerSize) != headerSize) {
    std::fputs("write error\n", stdout);
    Abandon(builder, archivePath);
    return;
  }
  builder.position = headerSize;
  builder.written = headerSize;

  // Compressing is slow enough to take a second thread; storing is not.
  std::optional<CompressAhead> ahead;
  if constexpr (std::is_same_v<Encoder, LzssCompressor>) ahead.emplace(names);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string_view name = names[i];
    Outcome outcome = Outcome::kTooLarge;
    try {
      const PreparedMember prepared = ahead ? ahead->Take(i) : PreparedMember{};
      builder.report.append(name);
      entries.emplace_back();
      outcome = StoreMember<Encoder>(std::string(name), names.Offset(i), entries.back(), builder,
                                     prepared);
      if (outcome == Outcome::kStored) {
        builder.held.push_back({builder.position, builder.report.size()});
        builder.report.append(" ...OK\n");
      }
    } catch (const std::bad_alloc&) {
      // The name is all that is held of this member's line.
      if (outcome == Outcome::kStored) outcome = Outcome::kTooLarge;
    }
    if (outcome == Outcome::kStored) {
      if (builder.packed.size() < kPiece || Flush(builder)) continue;
    } else if (outcome != Outcome::kReported && Flush(builder)) {
      std::fputs(outcome == Outcome::kCannotOpen ? " ...cannot open\n" : " ...too large\n", stdout);
    }
    Abandon(builder, archivePath);
    return;
  }
  if (!Flush(builder)) {
    Abandon(builder, archivePath);
    return;
  }

  bool written = false;
  try {
    written = WriteTableAndHeader<Encoder>(entries, builder);
  } catch (const std::bad_alloc&) {
  }
  // A close that fails may have lost buffered bytes of the archive.
  if (!written || !builder.archive.Close()) {
    std::fputs("write error\n", stdout);
    Abandon(builder, archivePath);
    return;
  }
  std::printf("total: %d files\n", static_cast<int>(static_cast<std::uint32_t>(names.size())));
}

}  // namespace

void CreateArchive(ArchiveFormat format, const std::string& archivePath, const NameList& names,
                   bool compress) {
  if (format == ArchiveFormat::kFormat3) {
    if (compress) {
      CreateEntries<Format3Entry, LzssCompressor>(kFormat3HeaderArea, archivePath, names);
    } else {
      CreateEntries<Format3Entry, LzssStoreEncoder>(kFormat3HeaderArea, archivePath, names);
    }
  } else if (compress) {
    CreateEntries<Format4Entry, LzssCompressor>(kFormat4HeaderSize, archivePath, names);
  } else {
    CreateEntries<Format4Entry, LzssStoreEncoder>(kFormat4HeaderSize, archivePath, names);
  }
}

}  // namespace qev
