// The store encoder: whole groups of eight input bytes go to nine stream
// bytes at once (literal_groups.h); the up to seven bytes left of a piece
// wait for the next, and the last ones and the end marker go through a
// small bit accumulator. It must match tests/support/lzss_reference.cpp byte for byte and
// checksum for checksum.
#include "coding/lzss_store.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "coding/literal_groups.h"
#include "coding/lzss_stream.h"

namespace qev {
namespace {

using lzss::StoreLiteralGroups;
using lzss::SumBytes;

}  // namespace

void LzssStoreEncoder::Put(const std::uint8_t* data, std::size_t size, ByteBuffer& out) {
  if (heldSize_ > 0) {
    const std::size_t take = std::min(size, sizeof held_ - heldSize_);
    std::memcpy(held_ + heldSize_, data, take);
    heldSize_ += take;
    data += take;
    size -= take;
    if (heldSize_ < sizeof held_) return;
    out.resize(out.size() + 9);
    checksum_ += StoreLiteralGroups(held_, 1, out.data() + out.size() - 9);
    heldSize_ = 0;
  }
  const std::size_t groups = size / 8;
  if (groups > 0) {
    // One zero fill for all the groups costs less than many small ones.
    const std::size_t start = out.size();
    out.resize(start + 9 * groups);
    checksum_ += StoreLiteralGroups(data, groups, out.data() + start);
  }
  heldSize_ = size % 8;
  if (heldSize_ > 0) std::memcpy(held_, data + 8 * groups, heldSize_);
}

std::uint32_t LzssStoreEncoder::Finish(ByteBuffer& out) {
  // The last literals and the end marker, through a small bit accumulator;
  // the last byte's unwritten low bits are zero.
  const std::size_t start = out.size();
  out.resize(start + lzss::StoredStreamLength(heldSize_));
  std::uint8_t* p = out.data() + start;
  std::uint64_t acc = 0;
  unsigned pending = 0;
  const auto put = [&](std::uint32_t value, unsigned width) {
    acc = acc << width | value;
    pending += width;
    while (pending >= 8) {
      pending -= 8;
      *p++ = static_cast<std::uint8_t>(acc >> pending);
    }
  };
  for (std::size_t i = 0; i < heldSize_; ++i) put(0x100u | held_[i], lzss::kLiteralBits);
  put(0, lzss::kEndMarkerBits);
  if (pending > 0) *p = static_cast<std::uint8_t>(acc << (8 - pending));
  heldSize_ = 0;
  return checksum_ += SumBytes(out.data() + start, out.data() + out.size());
}

std::uint32_t LzssStore(const ByteBuffer& input, ByteBuffer& output) {
  output.clear();
  output.reserve(lzss::StoredStreamLength(input.size()));
  LzssStoreEncoder encoder;
  encoder.Put(input.data(), input.size(), output);
  return encoder.Finish(output);
}

}  // namespace qev
