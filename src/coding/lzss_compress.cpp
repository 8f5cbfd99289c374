// The compressor. Since a reference costs 18 bits whatever its length and
// a literal 9, and every shorter length of a match is a match as well, the
// shortest stream is a shortest path over the input positions once the
// longest match at each position is known. So the work is in two steps
// per block: find the longest match (capped at 18 bytes) at every
// position, exactly; then walk the block backwards for the cheapest way to
// its end from each position, and emit that path forwards.
//
// Positions. Output byte n lands at window position (n + 1) mod 8192, so a
// reference to the byte d outputs back names position (n + 1 - d) mod 8192,
// and position 0 cannot be named (it is the end marker): the bytes at
// window position 0, the outputs n = 8191 mod 8192 and the initial zero just
// before the first output, are never a source. Sources before the first
// output read 0, as if the input followed 8192 zero bytes, which is how the
// buffer starts. Blocks start at multiples of 8192 output bytes, so in the
// buffer, where a block starts at kBlockStart = 1 mod 8192, the positions
// that cannot be a source are exactly the multiples of 8192.
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
#include "coding/lzss_compress.h"

#include <algorithm>
#include <cstring>

namespace qev {
namespace {

constexpr std::uint32_t kWindow = 8192;
constexpr std::uint32_t kMinLength = 3;
constexpr std::uint32_t kMaxLength = 18;
// Hash sizes in bits, at most: 4 bytes pick a tree, 3 bytes the newest
// position. A member that is one block alone gets tables to its size, so
// that many small members do not spend their time clearing large ones.
constexpr int kHash4Bits = 14;
constexpr int kHash3Bits = 16;
constexpr int kLeastHashBits = 10;
constexpr std::uint32_t kRefresh = 8;

// The buffer: unused bytes below kHistoryStart keep every stale tree entry
// (rebased to 0 or near it) outside the window of every position looked up.
constexpr std::size_t kHistoryStart = kWindow + 1;
constexpr std::size_t kBlockStart = kHistoryStart + kWindow;
constexpr std::size_t kFull = kBlockStart + LzssCompressor::kBlockSize + kMaxLength;
constexpr std::size_t kPadding = 16;  // room for 8-byte loads past the data

// Two slots per node, for twice the window: a node's slots are reused only
// once it lies outside the window of every later position.
constexpr std::uint32_t kNodeMask = 2 * kWindow - 1;

std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
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

std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Bytes a and b have in common from `from` on, at most `limit` (both
// readable 8 bytes past limit).
std::uint32_t CommonLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t from,
                           std::uint32_t limit) {
  std::uint32_t length = from;
  while (length < limit) {
    const std::uint64_t x = Load64(a + length) ^ Load64(b + length);
    if (x != 0) {
      // Little-endian loads: the first differing byte is the lowest set one.
      length += static_cast<std::uint32_t>(__builtin_ctzll(x)) / 8;
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
Match FindMatch(const std::uint8_t* buffer, const Hashes& head, std::uint32_t* tree,
                std::uint32_t cur, std::uint32_t limit, bool insert) {
  const std::uint8_t* const current = buffer + cur;
  Match best;
  // Matches of 3 bytes: the newest position with the same first 3 bytes.
  std::uint32_t* const newest = head.newest + Hash3(current, head.shift3);
  const std::uint32_t candidate3 = *newest;
  if (cur - candidate3 <= kWindow &&
      ((Load32(buffer + candidate3) ^ Load32(current)) & 0xFFFFFF) == 0) {
    best = {3, cur - candidate3};
  }
  if (insert) *newest = cur;
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
  if (insert) {
    *root = cur;
    left = tree + 2 * (cur & kNodeMask);
    right = left + 1;
  }
  std::uint32_t leftLength = 0;
  std::uint32_t rightLength = 0;
  while (true) {
    const std::uint32_t delta = cur - node;
    if (delta > kWindow) {  // also node 0, the empty tree
      *left = 0;
      *right = 0;
      return best;
    }
    const std::uint8_t* const candidate = buffer + node;
    std::uint32_t* const children = tree + 2 * (node & kNodeMask);
    const std::uint32_t length =
        CommonLength(candidate, current, std::min(leftLength, rightLength), limit);
    if (length > best.length) best = {length, delta};
    if (length == limit) {
      // The node equals cur as far as the tree sorts: cur takes its place.
      *left = children[0];
      *right = children[1];
      return best;
    }
    if (candidate[length] < current[length]) {
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
    if (!insert) {
      left = scratch;
      right = scratch + 1;
    }
  }
}

}  // namespace

// Everything grows with the input, so that a small member costs little:
// creation makes a compressor for every member.
LzssCompressor::LzssCompressor() : buffer_(kBlockStart + kPadding, 0), filled_(kBlockStart) {}

void LzssCompressor::Put(const std::uint8_t* data, std::size_t size, ByteBuffer& out) {
  while (size > 0) {
    const std::size_t take = std::min(size, kFull - filled_);
    if (buffer_.size() < filled_ + take + kPadding) {
      buffer_.resize(std::min(std::max(2 * buffer_.size(), filled_ + take), kFull) + kPadding);
    }
    std::memcpy(buffer_.data() + filled_, data, take);
    filled_ += take;
    data += take;
    size -= take;
    if (filled_ == kFull) {
      // A whole block and the 18 bytes after it, which its last matches
      // may reach into.
      ParseBlock(kBlockSize, false, out);
      ShiftBlock(kBlockSize);
    }
  }
}

std::uint32_t LzssCompressor::Finish(ByteBuffer& out) {
  if (filled_ - kBlockStart > kBlockSize) {
    ParseBlock(kBlockSize, false, out);
    ShiftBlock(kBlockSize);
  }
  // The last block needs no shift: nothing follows it.
  ParseBlock(filled_ - kBlockStart, true, out);
  filled_ = kBlockStart;
  Emit(0, 14, out);
  if (pendingBits_ > 0) Emit(0, 8 - pendingBits_, out);
  return checksum_;
}

void LzssCompressor::ParseBlock(std::size_t length, bool last, ByteBuffer& out) {
  std::uint8_t* const buffer = buffer_.data();
  const auto end = static_cast<std::uint32_t>(filled_);
  const auto limitAt = [&](std::uint32_t cur) { return std::min(kMaxLength, end - cur); };
  if (cost_.size() < length + 1) {
    length_.resize(length);
    distance_.resize(length);
    cost_.resize(length + 1);
  }
  const bool first = !started_;
  if (first) {
    started_ = true;
    int bits = kLeastHashBits;
    while (last && bits < kHash3Bits && (std::size_t{1} << bits) < 2 * length) ++bits;
    if (!last) bits = kHash3Bits;
    bits3_ = bits;
    bits4_ = std::min(bits, kHash4Bits);
    head_.assign((std::size_t{1} << bits4_) + (std::size_t{1} << bits3_), 0);
    tree_.assign(4 * kWindow, 0);
  }
  const Hashes hashes{head_.data(), head_.data() + (std::size_t{1} << bits4_), 32 - bits4_,
                      32 - bits3_};
  if (first) {
    // The initial zeros: the newest 18 zero bytes stand for all the older
    // ones, and the positions after them reach into the input. The last,
    // window position 0, is no source.
    for (std::uint32_t cur = kBlockStart - kMaxLength - 1; cur < kBlockStart - 1; ++cur) {
      if (limitAt(cur) >= kMinLength) {
        FindMatch(buffer, hashes, tree_.data(), cur, limitAt(cur), true);
      }
    }
  }

  Match match;
  for (std::size_t i = 0; i < length; ++i) {
    const auto cur = static_cast<std::uint32_t>(kBlockStart + i);
    const std::uint32_t limit = limitAt(cur);
    // Inside a repeat: when the previous position matched 18 bytes and the
    // next byte repeats too, cur matches 18 bytes at the same distance, and
    // the tree holds a string equal to cur's already. Then cur is not
    // inserted, except every kRefresh positions, which keeps the strings
    // of long repeats from all leaving the window at once.
    const bool repeats =
        match.length == kMaxLength && limit == kMaxLength &&
        (cur - match.distance) % kWindow != 0 &&
        buffer[cur + kMaxLength - 1] == buffer[cur + kMaxLength - 1 - match.distance] &&
        cur % kRefresh != 0;
    if (!repeats) {
      match = limit >= kMinLength
                  ? FindMatch(buffer, hashes, tree_.data(), cur, limit, cur % kWindow != 0)
                  : Match{};
    }
    const std::uint32_t usable = std::min<std::uint32_t>(match.length, length - i);
    length_[i] = static_cast<std::uint8_t>(usable >= kMinLength ? usable : 0);
    distance_[i] = static_cast<std::uint16_t>(match.distance);
  }

  // Cheapest way from each position to the block's end; length_ becomes the
  // step taken (1 for a literal). Among equal costs the longest reference
  // wins, which makes fewer tokens to decode.
  cost_[length] = 0;
  for (std::size_t i = length; i-- > 0;) {
    std::uint32_t best = cost_[i + 1] + 9;
    std::uint8_t step = 1;
    const std::uint32_t longest = length_[i];
    if (longest >= kMinLength) {
      // The cost from the end of the longest reference is nearly always the
      // least; the shorter ones are looked at only for a strictly smaller one.
      std::uint32_t rest = cost_[i + longest];
      std::uint32_t restStep = longest;
      for (std::uint32_t k = longest - 1; k >= kMinLength; --k) {
        if (cost_[i + k] < rest) {
          rest = cost_[i + k];
          restStep = k;
        }
      }
      if (rest + 18 <= best) {
        best = rest + 18;
        step = static_cast<std::uint8_t>(restStep);
      }
    }
    cost_[i] = best;
    length_[i] = step;
  }

  for (std::size_t i = 0; i < length;) {
    const std::uint32_t step = length_[i];
    if (step == 1) {
      Emit(0x100u | buffer[kBlockStart + i], 9, out);
    } else {
      // The block starts at a multiple of 8192 output bytes.
      const auto position = static_cast<std::uint32_t>(i + 1 - distance_[i]) & (kWindow - 1);
      Emit(position << 4 | (step - kMinLength), 18, out);
    }
    i += step;
  }
}

void LzssCompressor::ShiftBlock(std::size_t length) {
  // Keep the block's last 8 KiB as the next block's history, and what
  // follows the block.
  const std::size_t from = kBlockStart + length - kWindow;
  std::memmove(buffer_.data() + kHistoryStart, buffer_.data() + from, filled_ - from);
  filled_ -= length;
  const auto shift = static_cast<std::uint32_t>(length);
  const auto rebase = [shift](std::uint32_t& position) {
    position = position >= shift ? position - shift : 0;
  };
  std::for_each(head_.begin(), head_.end(), rebase);
  std::for_each(tree_.begin(), tree_.end(), rebase);
}

void LzssCompressor::Emit(std::uint32_t value, unsigned width, ByteBuffer& out) {
  bits_ = bits_ << width | value;
  pendingBits_ += width;
  while (pendingBits_ >= 8) {
    pendingBits_ -= 8;
    const auto byte = static_cast<std::uint8_t>(bits_ >> pendingBits_);
    out.push_back(byte);
    checksum_ += byte;
  }
}

std::uint32_t LzssCompress(const ByteBuffer& input, ByteBuffer& output) {
  output.clear();
  LzssCompressor compressor;
  compressor.Put(input.data(), input.size(), output);
  return compressor.Finish(output);
}

}  // namespace qev
