// The match finder: the longest match (capped at 18 bytes) at every
// position, exactly, which is all the shortest path needs (see
// shortest_path.h).
//
// Positions. Output byte n lands at window position (n + 1) mod 8192, so a
// reference to the byte d outputs back names position (n + 1 - d) mod 8192,
// and position 0 cannot be named (it is the end marker): the bytes at
// window position 0, the outputs n = 8191 mod 8192 and the initial zero just
// before the first output, are never a source. Sources before the first
// output read 0, as if the input followed 8192 zero bytes, which is how the
// buffer starts. In the buffer, where blocks start at 1 mod 8192, the
// positions that cannot be a source are exactly the multiples of 8192.
//
// The match finder keeps, per hash of 4 bytes, a binary search tree of the
// strings of up to 18 bytes starting at every earlier position of the last
// 8192 (the newest at the root, every node older than its parent, so that
// the walk stops at the first node outside the window). Inserting the
// current position walks from the root and meets, on the way, the strings
// that sort next to it, and so its longest match; a string equal over all
// 18 bytes takes the place of the older one. Positions that cannot be a
// source are looked up without being inserted. Matches of exactly 3 bytes
// come from the newest position per hash of 3 bytes (a position that
// another 3 bytes with the same hash displaced is lost: 0.01% on a corpus
// of installed files).
//
// Every block starts with empty tables and first inserts the 8 KiB before
// it (or, for a member's first block, the newest 18 of the initial zeros,
// which stand for all of them), so its parse is the same whichever thread
// makes it, and whatever was parsed before.
#include "coding/match_finder.h"

#include <algorithm>
#include <cstring>

#include "coding/lzss_stream.h"

namespace qev {
namespace {

using lzss::kMaxMatch;
using lzss::kMinMatch;
using lzss::kWindowSize;

// Hash sizes in bits, at most: 4 bytes pick a tree, 3 bytes the newest
// position.
constexpr int kHash4Bits = 14;
constexpr int kHash3Bits = 16;
constexpr std::uint32_t kRefresh = 8;

// Two slots per node, for twice the window: a node's slots are reused only
// once it lies outside the window of every later position.
constexpr std::uint32_t kNodeMask = 2 * kWindowSize - 1;

std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The hash tables: tree roots by 4 bytes, then newest positions by 3.
struct Hashes {
  std::uint32_t* roots;
  std::uint32_t* newest;
  int shift4;
  int shift3;
};

std::uint32_t Hash3(const std::uint8_t* p, int shift) {
  return ((Load32(p) & 0xFFFFFF) * 2654435761u) >> shift;
}

std::uint32_t Hash4(const std::uint8_t* p, int shift) { return (Load32(p) * 2654435761u) >> shift; }

// Bytes a and b have in common from `from` on, at most `limit` (both
// readable 8 bytes past limit); `less` tells whether a sorts before b, when
// they differ within the limit. The order comes from the words loaded, not
// from loading the differing bytes again.
std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t from,
                           std::uint32_t limit, bool& less) {
  std::uint32_t length = from;
  while (length < limit) {
    const std::uint64_t wordA = Load64(a + length);
    const std::uint64_t wordB = Load64(b + length);
    const std::uint64_t x = wordA ^ wordB;
    if (x != 0) {
      // Little-endian loads: the first differing byte is the lowest set one,
      // and byte-swapped words compare as the bytes do.
      length += static_cast<std::uint32_t>(__builtin_ctzll(x)) / 8;
      less = __builtin_bswap64(wordA) < __builtin_bswap64(wordB);
      return std::min(length, limit);
    }
    length += 8;
  }
  return limit;
}

struct Match {
  std::uint32_t length = 0;
  std::uint32_t distance = 0;
};

// The longest match at cur (at most limit bytes, limit >= 3) among the
// positions in the tree; inserts cur unless `insert` is false.
template <bool insert>
Match FindMatch(const std::uint8_t* buffer, const Hashes& head, std::uint32_t* tree,
                std::uint32_t cur, std::uint32_t limit) {
  const std::uint8_t* const current = buffer + cur;
  Match best;
  // Matches of 3 bytes: the newest position with the same first 3 bytes.
  std::uint32_t* const newest = head.newest + Hash3(current, head.shift3);
  const std::uint32_t candidate3 = *newest;
  if (cur - candidate3 <= kWindowSize &&
      ((Load32(buffer + candidate3) ^ Load32(current)) & 0xFFFFFF) == 0) {
    best = {3, cur - candidate3};
  }
  if constexpr (insert) *newest = cur;
  if (limit < 4) return best;
  // Longer ones: the tree of the strings with the same hash of 4 bytes.
  std::uint32_t* const root = head.roots + Hash4(current, head.shift4);
  std::uint32_t node = *root;
  // Slots where the next node smaller (left) and greater (right) than cur
  // hangs; the common length with the nearest such nodes bounds the common
  // length with every node between them.
  std::uint32_t scratch[2];
  std::uint32_t* left = scratch;
  std::uint32_t* right = scratch + 1;
  if constexpr (insert) {
    *root = cur;
    left = tree + 2 * (cur & kNodeMask);
    right = left + 1;
  }
  std::uint32_t leftLength = 0;
  std::uint32_t rightLength = 0;
  while (true) {
    const std::uint32_t delta = cur - node;
    if (delta > kWindowSize) {  // also node 0, the empty tree
      *left = 0;
      *right = 0;
      return best;
    }
    const std::uint8_t* const candidate = buffer + node;
    bool less = false;
    std::uint32_t* const children = tree + 2 * (node & kNodeMask);
    const std::uint32_t length =
        CommonLength(candidate, current, std::min(leftLength, rightLength), limit, less);
    if (length > best.length) best = {length, delta};
    if (length == limit) {
      // The node equals cur as far as the tree sorts: cur takes its place.
      *left = children[0];
      *right = children[1];
      return best;
    }
    if (less) {
      *left = node;
      left = children + 1;
      node = *left;
      leftLength = length;
    } else {
      *right = node;
      right = children;
      node = *right;
      rightLength = length;
    }
    if constexpr (!insert) {
      left = scratch;
      right = scratch + 1;
    }
  }
}

// Finds the longest match at every position in [from, to), inserting the
// positions; records the matches of those at or after `start` in longest and
// distance, by offset from `start`.
void Scan(const std::uint8_t* buffer, const Hashes& hashes, std::uint32_t* tree, std::uint32_t from,
          std::uint32_t to, std::uint32_t end, std::uint32_t start, std::uint8_t* longest,
          std::uint16_t* distance) {
  Match match;
  for (std::uint32_t cur = from; cur < to; ++cur) {
    const std::uint32_t limit = std::min(kMaxMatch, end - cur);
    // Inside a repeat: when the previous position matched 18 bytes and the
    // next byte repeats too, cur matches 18 bytes at the same distance, and
    // the tree holds a string equal to cur's already. Then cur is not
    // inserted, except every kRefresh positions, which keeps the strings
    // of long repeats from all leaving the window at once.
    const bool repeats =
        match.length == kMaxMatch && limit == kMaxMatch &&
        (cur - match.distance) % kWindowSize != 0 &&
        buffer[cur + kMaxMatch - 1] == buffer[cur + kMaxMatch - 1 - match.distance] &&
        cur % kRefresh != 0;
    if (!repeats) {
      // Window position 0 is looked up, never inserted: it is no source.
      if (limit < kMinMatch) {
        match = {};
      } else if (cur % kWindowSize != 0) {
        match = FindMatch<true>(buffer, hashes, tree, cur, limit);
      } else {
        match = FindMatch<false>(buffer, hashes, tree, cur, limit);
      }
    }
    if (cur >= start) {
      const std::uint32_t usable = std::min<std::uint32_t>(match.length, to - cur);
      longest[cur - start] = static_cast<std::uint8_t>(usable >= kMinMatch ? usable : 0);
      distance[cur - start] = static_cast<std::uint16_t>(match.distance);
    }
  }
}

}  // namespace

MatchFinder::MatchFinder() : tree_(new std::uint32_t[2 * (kNodeMask + 1)]) {}

MatchFinder::~MatchFinder() = default;

void MatchFinder::FindLongest(const std::uint8_t* buffer, std::uint32_t start, std::uint32_t length,
                              std::uint32_t end, bool first, int hashBits, std::uint8_t* longest,
                              std::uint16_t* distance) {
  const int bits3 = std::min(hashBits, kHash3Bits);
  const int bits4 = std::min(hashBits, kHash4Bits);
  head_.assign((std::size_t{1} << bits4) + (std::size_t{1} << bits3), 0);
  const Hashes hashes{head_.data(), head_.data() + (std::size_t{1} << bits4), 32 - bits4,
                      32 - bits3};
  // The history: the window's initial zeros, whose newest 18 stand for all
  // the older ones, or the 8 KiB before the block.
  const std::uint32_t history = first ? start - kMaxMatch - 1 : start - kWindowSize;
  Scan(buffer, hashes, tree_.get(), history, start, end, start, longest, distance);
  Scan(buffer, hashes, tree_.get(), start, start + length, end, start, longest, distance);
}

}  // namespace qev
