// The compressor's buffering and output: blocks are parsed (see
// block_parser.cpp) several at once when the input holds that many, then
// written out in order.
#include "coding/lzss_compress.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "coding/literal_groups.h"
#include "coding/lzss_stream.h"

namespace qev {
namespace {

using lzss::kEndMarkerBits;
using lzss::kLiteralBits;
using lzss::kMaxMatch;
using lzss::kMinMatch;
using lzss::kReferenceBits;
using lzss::kWindowMask;
using lzss::kWindowSize;
constexpr std::size_t kHistoryStart = ParseLayout::kHistoryStart;
constexpr std::size_t kBlockStart = ParseLayout::kBlockStart;
constexpr std::size_t kPadding = ParseLayout::kPadding;
// A member that is one block alone gets hash tables to its size, so that
// many small members do not spend their time clearing large ones.
constexpr int kLeastHashBits = 10;
constexpr int kMostHashBits = 16;

}  // namespace

unsigned CompressionThreads() {
  static const unsigned count =
      std::clamp(std::thread::hardware_concurrency(), 1u, LzssCompressor::kMaxThreads);
  return count;
}

// Everything grows with the input, so that a small member costs little:
// creation makes a compressor for every member.
LzssCompressor::LzssCompressor(unsigned threads)
    : threads_(std::min(threads == 0 ? CompressionThreads() : threads, kMaxThreads)),
      buffer_(kBlockStart + kPadding, 0),
      filled_(kBlockStart),
      full_(kBlockStart + threads_ * kBlockSize + kMaxMatch) {}

LzssCompressor::~LzssCompressor() = default;

void LzssCompressor::Put(const std::uint8_t* data, std::size_t size, ByteBuffer& out) {
  while (size > 0) {
    const std::size_t take = std::min(size, full_ - filled_);
    if (buffer_.size() < filled_ + take + kPadding) {
      buffer_.resize(std::min(std::max(2 * buffer_.size(), filled_ + take), full_) + kPadding);
    }
    std::memcpy(buffer_.data() + filled_, data, take);
    filled_ += take;
    data += take;
    size -= take;
    // A block per thread and the 18 bytes after them, which their last
    // matches may reach into.
    if (filled_ == full_) ParseBlocks(threads_, kBlockSize, false, out);
  }
}

std::uint32_t LzssCompressor::Finish(ByteBuffer& out) {
  std::size_t held = filled_ - kBlockStart;
  if (held > threads_ * kBlockSize) {
    ParseBlocks(threads_, kBlockSize, false, out);
    held = filled_ - kBlockStart;
  }
  const std::size_t count = std::max<std::size_t>(1, (held + kBlockSize - 1) / kBlockSize);
  ParseBlocks(count, held - (count - 1) * kBlockSize, true, out);
  Emit(0, kEndMarkerBits, out);
  if (pendingBits_ > 0) Emit(0, 8 - pendingBits_, out);
  return checksum_;
}

// Parses `count` blocks, the last of them lastLength bytes, and writes their
// tokens. Unless `last`, then keeps the 8 KiB before the next block as its
// history, and what follows.
void LzssCompressor::ParseBlocks(std::size_t count, std::size_t lastLength, bool last,
                                 ByteBuffer& out) {
  const bool first = !started_;
  if (first) {
    started_ = true;
    int bits = kMostHashBits;
    if (last && count == 1) {
      bits = kLeastHashBits;
      while (bits < kMostHashBits && (std::size_t{1} << bits) < 2 * lastLength) ++bits;
    }
    hashBits_ = bits;
  }
  while (parsers_.size() < count) parsers_.push_back(std::make_unique<BlockParser>());
  const std::uint8_t* const buffer = buffer_.data();
  const auto parse = [&](std::size_t k) {
    const auto start = static_cast<std::uint32_t>(kBlockStart + k * kBlockSize);
    const auto length = static_cast<std::uint32_t>(k + 1 == count ? lastLength : kBlockSize);
    parsers_[k]->Parse(buffer, start, length, first && k == 0, hashBits_);
  };
  // Every block but the first on a thread of its own; where a thread
  // cannot be had, here. Memory that runs out on a thread is reported here,
  // once no thread runs any more.
  std::thread helpers[kMaxThreads];
  bool failed[kMaxThreads] = {};
  const auto parseOnThread = [&](std::size_t k) {
    try {
      parse(k);
    } catch (const std::bad_alloc&) {
      failed[k] = true;
    }
  };
  std::size_t started = 1;
  try {
    for (; started < count; ++started) helpers[started] = std::thread(parseOnThread, started);
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
  bool outOfMemory = false;
  try {
    parse(0);
    for (std::size_t k = started; k < count; ++k) parse(k);
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
  }
  for (std::size_t k = 1; k < started; ++k) {
    helpers[k].join();
    outOfMemory = outOfMemory || failed[k];
  }
  if (outOfMemory) throw std::bad_alloc();

  // The tokens, through a word of bits held in registers, into a piece of
  // stream bytes at a time: the stream grows as much as it is long.
  std::uint8_t piece[4096];
  std::uint8_t* written = piece;
  const auto append = [&] {
    checksum_ += lzss::SumBytes(piece, written);
    out.insert(out.end(), piece, written);
    written = piece;
  };
  std::uint64_t bits = bits_;
  unsigned pending = pendingBits_;
  for (std::size_t b = 0; b < count; ++b) {
    const BlockParser& parser = *parsers_[b];
    const std::size_t length = b + 1 == count ? lastLength : kBlockSize;
    const std::uint8_t* const block = buffer + kBlockStart + b * kBlockSize;
    for (std::size_t i = 0; i < length;) {
      const std::uint32_t step = parser.Step(i);
      if (step == 1) {
        bits = bits << kLiteralBits | 0x100u | block[i];
        pending += kLiteralBits;
      } else {
        // Blocks start at multiples of 8192 output bytes.
        const auto position = static_cast<std::uint32_t>(i + 1 - parser.Distance(i)) & kWindowMask;
        bits = bits << kReferenceBits | position << lzss::kLengthBits | (step - kMinMatch);
        pending += kReferenceBits;
      }
      if (pending >= 32) {
        pending -= 32;
        const auto word = static_cast<std::uint32_t>(bits >> pending);
        const std::uint8_t bytes[4] = {
            static_cast<std::uint8_t>(word >> 24), static_cast<std::uint8_t>(word >> 16),
            static_cast<std::uint8_t>(word >> 8), static_cast<std::uint8_t>(word)};
        std::memcpy(written, bytes, 4);
        written += 4;
        if (written == piece + sizeof piece) append();
      }
      i += step;
    }
  }
  while (pending >= 8) {
    pending -= 8;
    *written++ = static_cast<std::uint8_t>(bits >> pending);
  }
  append();
  bits_ = bits & ((std::uint64_t{1} << pending) - 1);
  pendingBits_ = pending;

  if (last) return;
  // Keep the last block's last 8 KiB as the next block's history, and what
  // follows the block.
  const std::size_t from = kBlockStart + count * kBlockSize - kWindowSize;
  std::memmove(buffer_.data() + kHistoryStart, buffer_.data() + from, filled_ - from);
  filled_ -= count * kBlockSize;
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
