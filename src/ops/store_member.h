// Storing one file of the current directory as a member stream of an
// archive that is being written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/archive.h"
#include "io/file_handle.h"
#include "ops/compress_ahead.h"
#include "ops/report.h"
#include "ops/stream_batch.h"

namespace qev {

// Every offset and size is a 32-bit number, and the readers take the
// archive's size from the low 32 bits of the file size: an archive that
// reaches 4 GiB could not be read back whole.
inline constexpr std::uint64_t kMaxArchiveSize = UINT32_MAX;

// What storing one member after another keeps.
struct MemberStore {
  const ArchiveFormat* format = nullptr;
  ByteBuffer data;              // a piece of a member's contents
  std::uint64_t position = 0;   // where the next member stream starts
  std::uint64_t tableBits = 0;  // upper bound of the table for the members stored so far
  ProgressCount progress;       // the input bytes read
};

// kReported: a write failed, and the batch has said so.
enum class StoreOutcome { kStored, kCannotOpen, kTooLarge, kReported };

// The size of the file at path, 0 when it cannot be learnt: for the
// progress line's total.
std::uint64_t FileSize(std::string_view path);

// The stored table's bytes for that many bits, with room for the end
// marker of a table kept as a stream.
std::uint64_t TableBytes(std::uint64_t bits);

// What StoreMember checks before a member's stream begins, for the file at
// path as the next member: its name, the file's opening into input (when
// not null; else fullSize is its size) and the archive's limit. Fills the
// entry's name, offset and size, and *tableBits with the table's bound
// with this member. kStored when the member can be stored.
StoreOutcome BeginMember(const std::string& path, std::uint32_t pathOffset, FileHandle* input,
                         std::uint64_t fullSize, const MemberStore& store, Entry& entry,
                         std::uint64_t* tableBits);

// Stores the file that path names as the member described by entry, and
// appends its stream to the batch a piece at a time, as the encoder makes
// it, or the stream prepared for it if there is one. Fills every field of
// the entry; its name is the bare name at the end of path, which lies at
// pathOffset in a name pool that the entry shares. A name that does not fit the table, an input
// that cannot be read whole, or a member that would take the archive to
// 4 GiB is refused before its stream begins. compress: with
// back-references wherever they make the stream shorter.
StoreOutcome StoreMember(const std::string& path, std::uint32_t pathOffset, Entry& entry,
                         bool compress, MemberStore& store, StreamBatch& batch,
                         const PreparedMember& prepared);

// Stores the file at path as the next member, appended to entries, with
// its line as creation says it: the name, then " ...OK" once its stream is
// in the archive, or the verdict that stops the archive. The member's
// stream is taken from ahead (member `index` there) when ahead is not
// null. False, once the line has said why, when the archive cannot go on.
bool StoreWithLine(std::string_view path, std::uint32_t pathOffset, CompressAhead* ahead,
                   std::size_t index, bool compress, std::vector<Entry>& entries,
                   MemberStore& store, StreamBatch& batch, Report& report);

// Stores the file at path as a literals-only stream for entry, which
// BeginMember filled when the archive's header was computed ahead, with
// its line as StoreWithLine says it. held, when not null, is the file's
// entry.size bytes, read then with the time in entry. Otherwise the file
// is opened again, and one that can no longer be opened, or whose size is
// no longer entry.size, is refused as one that cannot be opened: its
// stream would not have the length counted.
bool StorePlannedWithLine(std::string_view path, Entry& entry, const std::uint8_t* held,
                          MemberStore& store, StreamBatch& batch, Report& report);

}  // namespace qev
