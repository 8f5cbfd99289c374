// The compressor's match finder: hash chains of the positions in the
// window, so that inserting a position is cheap and a search is made only
// where the parse asks for one (see block_parser.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "coding/lzss_stream.h"

namespace qev {

struct Match {
  std::uint32_t length = 0;
  std::uint32_t distance = 0;
};

// How many bytes a and b have in common, at most `most` (both readable 8
// bytes past most), 8 at a time.
inline std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b,
                                  std::uint32_t most) {
  for (std::uint32_t length = 0; length < most; length += 8) {
    std::uint64_t wordA, wordB;
    std::memcpy(&wordA, a + length, 8);
    std::memcpy(&wordB, b + length, 8);
    if (wordA != wordB) {
      // Little-endian loads: the first differing byte is the lowest set one.
      length += static_cast<std::uint32_t>(__builtin_ctzll(wordA ^ wordB)) / 8;
      return length < most ? length : most;
    }
  }
  return most;
}

// How many bytes ending at a and at b (inclusive) are the same, at most
// `most`, 8 at a time from the end (both readable from 23 bytes before
// their end; the bytes before a - most + 1 are read, not counted).
inline std::uint32_t CommonSuffix(const std::uint8_t* a, const std::uint8_t* b,
                                  std::uint32_t most) {
  for (std::uint32_t length = 0; length < most; length += 8) {
    std::uint64_t wordA, wordB;
    std::memcpy(&wordA, a - 7 - length, 8);
    std::memcpy(&wordB, b - 7 - length, 8);
    if (wordA != wordB) {
      // Little-endian loads: the last differing byte is the highest set one.
      length += static_cast<std::uint32_t>(__builtin_clzll(wordA ^ wordB)) / 8;
      return length < most ? length : most;
    }
  }
  return most;
}

class MatchFinder {
 public:
  // The chains hold the positions up to kAhead past the one searched.
  static constexpr std::uint32_t kAhead = 16;
  // The most candidates a search tries.
  static constexpr std::uint32_t kMaxChain = 64;
  // Positions in the chains' links, modulo twice the window.
  static constexpr std::uint32_t kRing = 16384;
  // Matches of 3 bytes come from a table of the newest source, longer
  // ones from walks of the chains.
  static constexpr std::uint32_t kLeastWalked = 4;

  MatchFinder();
  ~MatchFinder();
  MatchFinder(const MatchFinder&) = delete;
  MatchFinder& operator=(const MatchFinder&) = delete;

  // Starts on a block at buffer + start, laid out as ParseLayout
  // (block_parser.h) tells: a buffer position that is a multiple of 8192 is
  // window position 0 and never a source. Empties the tables (of hashBits
  // bits at most) and inserts the sources from `from` up to the block and
  // the block's first kAhead positions into the chains; the block ends at
  // `end`, and the chains go no further.
  void Reset(const std::uint8_t* buffer, int hashBits, std::uint32_t from, std::uint32_t start,
             std::uint32_t end);
  // Moves on past `cur`, searched or not: cur becomes a source.
  void Advance(std::uint32_t cur) {
    if (cur + kAhead < end_) Chain(cur + kAhead);
    AddThree(cur);
  }
  // Advance where the block goes on past cur + kAhead.
  void ChainAhead(std::uint32_t cur) {
    Chain(cur + kAhead);
    AddThree(cur);
  }
  // The longest match at `cur` of `least` to `most` bytes (3 <= least <=
  // most <= 18, cur + most <= end) among the sources within the 8192
  // positions before it, or length 0 where there is none. Exact but for
  // matches of 3 bytes (only the newest source per hash of 3 bytes is kept)
  // and for candidates that more than kMaxChain newer ones of the same hash
  // precede.
  Match Find(std::uint32_t cur, std::uint32_t least, std::uint32_t most);
  // Whether any source within the window has the hash of the 3 bytes at
  // cur; where none has, cur has no match at all.
  bool AnyThree(std::uint32_t cur) const { return cur - NewestThree(cur) <= lzss::kWindowSize; }
  // The match of 3 bytes that Find(cur, 3, ...) starts from: the newest
  // source of the 3 bytes at cur, if it is one.
  Match FindThree(std::uint32_t cur) const {
    const std::uint32_t source = NewestThree(cur);
    if (cur - source <= lzss::kWindowSize && source % lzss::kWindowSize != 0 &&
        ((Load32(buffer_ + source) ^ Load32(buffer_ + cur)) & 0xFFFFFF) == 0) {
      return {lzss::kMinMatch, cur - source};
    }
    return {};
  }
  // False where Find(cur, least, most) can find no match of `want` bytes
  // or more (want >= kLeastWalked), as the chains tell without a walk:
  // where the first chain a walk for want bytes takes holds no source in
  // the window, or where a walk of that same chain for the same last byte
  // failed before (see failed_ below).
  bool MayFind(std::uint32_t cur, std::uint32_t want) const {
    const bool eight = want >= 8;
    const std::uint32_t node = cur + want - (eight ? 8 : 4);
    if (node - older_[(eight ? kRing : 0) + (node & (kRing - 1))] > lzss::kWindowSize) return false;
    return !(node == failed_.node && eight == failed_.eight && want > failed_.common);
  }

 private:
  // The hashes' multiplier.
  static constexpr std::uint64_t kPrime = 0x9E3779B97F4A7C15ull;
  static std::uint32_t Load32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  void Chain(std::uint32_t position) {
    std::uint64_t bytes;
    std::memcpy(&bytes, buffer_ + position, 8);
    const auto slot4 = static_cast<std::uint32_t>(((bytes & 0xFFFFFFFF) * kPrime) >> shift_);
    const auto slot8 = static_cast<std::uint32_t>((bytes * kPrime) >> shift_);
    std::uint32_t* const older = older_.get() + (position & (kRing - 1));
    const auto link = [position](std::uint32_t& head, std::uint32_t& older) {
      older = head;
      head = position;
    };
    link(head4_[slot4], older[0]);
    link(head8_[slot8], older[kRing]);
  }
  // The slot of the 3 bytes at `position` in the table of 3 bytes, which
  // runs with the parse, not kAhead ahead: it holds the newest source
  // before the position searched.
  std::uint32_t Hash3(std::uint32_t position) const {
    return static_cast<std::uint32_t>(((Load32(buffer_ + position) & 0xFFFFFF) * kPrime) >>
                                      shift3_);
  }
  std::uint32_t NewestThree(std::uint32_t cur) const { return head3_[Hash3(cur)]; }
  void AddThree(std::uint32_t position) { head3_[Hash3(position)] = position; }

  // The last walk that failed and that any later walk from the same node
  // repeats: it went to the end of its chain, or through its first
  // kMaxChain candidates. `node` is the position whose 4 bytes (or 8:
  // `eight`) end where the match it wanted would end; `common`, the most
  // bytes up to that end that any of its candidates had in common with it,
  // fewer than it wanted. Chains only grow at their new end, so a walk
  // from that node for more than `common` bytes fails the same way.
  struct FailedWalk {
    std::uint32_t node = 0;
    bool eight = false;
    std::uint32_t common = 0;
  };
  FailedWalk failed_;
  const std::uint8_t* buffer_ = nullptr;
  std::uint32_t end_ = 0;
  // 64 less the bits of the hashes of 4 and 8 bytes, and of 3 bytes, and
  // the three tables in head_: kept apart from it, since the tables' stores
  // could otherwise change them for the compiler.
  std::uint8_t shift_ = 0;
  std::uint8_t shift3_ = 0;
  std::uint32_t* head4_ = nullptr;
  std::uint32_t* head8_ = nullptr;
  std::uint32_t* head3_ = nullptr;
  // Per hash of 4, 8 and 3 bytes the newest position; per position (modulo
  // twice the window) the next older one of the same hash of 4 and of 8
  // bytes, itself, not its distance: a link is two stores. Slots hold
  // buffer positions; 0 lies outside every window.
  std::vector<std::uint32_t> head_;
  std::unique_ptr<std::uint32_t[]> older_;
};

}  // namespace qev
