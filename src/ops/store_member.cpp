#include "ops/store_member.h"

#include <algorithm>
#include <new>

#include "coding/lzss.h"
#include "coding/lzss_compress.h"
#include "coding/lzss_stream.h"
#include "io/byte_source.h"
#include "io/file_handle.h"
#include "io/path.h"
#include "platform/platform.h"

namespace qev {
namespace {

// Inputs are read and encoded in pieces of this size.
constexpr std::uint32_t kPiece = 1024 * 1024;

constexpr std::size_t kMaxNameLength = 255;

template <class Encoder>
StoreOutcome Encode(ByteSource& input, std::uint32_t size, Entry& entry, MemberStore& store,
                    StreamBatch& batch, std::string_view name) {
  store.data.resize(kPiece);
  ByteBuffer& packed = batch.Pending();
  Encoder encoder;
  std::uint64_t streamLength = 0;
  for (std::uint32_t done = 0; done < size;) {
    const std::uint32_t piece = std::min(kPiece, size - done);
    // A file that delivers less than its size has changed or cannot be
    // read: storing zeros in place of its bytes would lose them unseen.
    if (input.ReadAt(done, piece, store.data.data()) != piece) return StoreOutcome::kCannotOpen;
    done += piece;
    store.progress.Add(piece, name);
    const std::size_t before = packed.size();
    encoder.Put(store.data.data(), piece, packed);
    streamLength += packed.size() - before;
    if (packed.size() >= StreamBatch::kFlushAt && !batch.Flush()) return StoreOutcome::kReported;
  }
  const std::size_t before = packed.size();
  entry.checksum = encoder.Finish(packed);
  streamLength += packed.size() - before;
  store.position += streamLength;
  return StoreOutcome::kStored;
}

}  // namespace

std::uint64_t FileSize(std::string_view path) {
  std::uint64_t size = 0;
  return platform::GetPathSize(std::string(path).c_str(), &size) ? size : 0;
}

std::uint64_t TableBytes(std::uint64_t bits) {
  return (bits + 7) / 8 + (lzss::kEndMarkerBits + 7) / 8;
}

StoreOutcome BeginMember(const std::string& path, std::uint32_t pathOffset, FileHandle* input,
                         std::uint64_t fullSize, const MemberStore& store, Entry& entry,
                         std::uint64_t* tableBits) {
  // Only a bare name is stored: the end of path, which the entry shares.
  // One that does not fit the table, or that no extraction would write,
  // cannot be archived.
  const std::string bare = BareName(path);
  if (bare.size() > kMaxNameLength || !IsSafeMemberName(bare)) return StoreOutcome::kCannotOpen;
  entry.nameOffset = pathOffset + static_cast<std::uint32_t>(path.size() - bare.size());
  entry.nameLength = static_cast<std::uint8_t>(bare.size());
  entry.offset = static_cast<std::uint32_t>(store.position);
  if (input != nullptr && (!input->OpenRead(path) || !input->GetFullSize(&fullSize))) {
    return StoreOutcome::kCannotOpen;
  }
  // Checked before anything is read, so that an input far too big costs
  // neither memory nor time. No member encoder writes more than the
  // literals-only stream.
  *tableBits = store.tableBits + store.format->entryTableBits(bare.size());
  if (fullSize > UINT32_MAX ||
      store.position + lzss::StoredStreamLength(fullSize) + TableBytes(*tableBits) >
          kMaxArchiveSize) {
    return StoreOutcome::kTooLarge;
  }
  entry.size = static_cast<std::uint32_t>(fullSize);
  entry.reserved = 0;
  return StoreOutcome::kStored;
}

StoreOutcome StoreMember(const std::string& path, std::uint32_t pathOffset, Entry& entry,
                         bool compress, MemberStore& store, StreamBatch& batch,
                         const PreparedMember& prepared) {
  FileHandle input;
  std::uint64_t tableBits = 0;
  const StoreOutcome begun = BeginMember(path, pathOffset, prepared.ready ? nullptr : &input,
                                         prepared.size, store, entry, &tableBits);
  if (begun != StoreOutcome::kStored) return begun;
  if (!prepared.ready) {
    input.GetWriteTime(&entry.writeTime);
  } else if (prepared.hasWriteTime) {
    entry.writeTime = prepared.writeTime;
  }
  if (prepared.ready) {
    ByteBuffer& packed = batch.Pending();
    packed.insert(packed.end(), prepared.stream.begin(), prepared.stream.end());
    entry.checksum = prepared.checksum;
    store.position += prepared.stream.size();
    store.tableBits = tableBits;
    store.progress.Add(entry.size, path);
    return StoreOutcome::kStored;
  }
  const StoreOutcome outcome =
      compress ? Encode<LzssCompressor>(input, entry.size, entry, store, batch, path)
               : Encode<LzssStoreEncoder>(input, entry.size, entry, store, batch, path);
  if (outcome == StoreOutcome::kStored) store.tableBits = tableBits;
  return outcome;
}

namespace {

StoreOutcome StorePlanned(const std::string& path, Entry& entry, const std::uint8_t* held,
                          MemberStore& store, StreamBatch& batch) {
  if (held != nullptr) {
    MemorySource source(held, entry.size);
    return Encode<LzssStoreEncoder>(source, entry.size, entry, store, batch, path);
  }
  // The file is opened anew: one that can no longer be opened, or whose
  // size changed, would not give the stream whose length was counted.
  FileHandle input;
  std::uint64_t size = 0;
  if (!input.OpenRead(path) || !input.GetFullSize(&size) || size != entry.size) {
    return StoreOutcome::kCannotOpen;
  }
  input.GetWriteTime(&entry.writeTime);
  return Encode<LzssStoreEncoder>(input, entry.size, entry, store, batch, path);
}

// Ends the line of the member begun last: " ...OK" with the batch, or the
// verdict that stops the archive. False when the archive cannot go on.
bool EndLine(StoreOutcome outcome, StreamBatch& batch, Report& report) {
  if (outcome == StoreOutcome::kStored) {
    return batch.Pending().size() < StreamBatch::kFlushAt || batch.Flush();
  }
  if (outcome != StoreOutcome::kReported && batch.Flush()) {
    report.Said(outcome == StoreOutcome::kCannotOpen ? Verdict::kCannotOpen : Verdict::kTooLarge);
  }
  return false;
}

}  // namespace

bool StoreWithLine(std::string_view path, std::uint32_t pathOffset, CompressAhead* ahead,
                   std::size_t index, bool compress, std::vector<Entry>& entries,
                   MemberStore& store, StreamBatch& batch, Report& report) {
  StoreOutcome outcome = StoreOutcome::kTooLarge;
  try {
    const PreparedMember prepared = ahead != nullptr ? ahead->Take(index) : PreparedMember{};
    batch.Begin(path);
    entries.emplace_back();
    outcome = StoreMember(std::string(path), pathOffset, entries.back(), compress, store, batch,
                          prepared);
    if (outcome == StoreOutcome::kStored) batch.Stored(store.position);
  } catch (const std::bad_alloc&) {
    // The name is all that is held of this member's line.
    if (outcome == StoreOutcome::kStored) outcome = StoreOutcome::kTooLarge;
  }
  return EndLine(outcome, batch, report);
}

bool StorePlannedWithLine(std::string_view path, Entry& entry, const std::uint8_t* held,
                          MemberStore& store, StreamBatch& batch, Report& report) {
  StoreOutcome outcome = StoreOutcome::kTooLarge;
  try {
    batch.Begin(path);
    outcome = StorePlanned(std::string(path), entry, held, store, batch);
    if (outcome == StoreOutcome::kStored) batch.Stored(store.position);
  } catch (const std::bad_alloc&) {
    if (outcome == StoreOutcome::kStored) outcome = StoreOutcome::kTooLarge;
  }
  return EndLine(outcome, batch, report);
}

}  // namespace qev
