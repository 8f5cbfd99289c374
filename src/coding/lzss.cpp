#include "coding/lzss.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace qev {
namespace {

constexpr std::uint32_t kWindowMask = 0x1FFF;
constexpr std::size_t kWindowSize = 8192;

std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  // Compilers turn this byte assembly into one load and a byte swap.
  return std::uint64_t{p[0]} << 56 | std::uint64_t{p[1]} << 48 | std::uint64_t{p[2]} << 40 |
         std::uint64_t{p[3]} << 32 | std::uint64_t{p[4]} << 24 | std::uint64_t{p[5]} << 16 |
         std::uint64_t{p[6]} << 8 | std::uint64_t{p[7]};
}

void StoreBigEndian64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
}

std::uint64_t LoadLittleEndian64(const std::uint8_t* p) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= std::uint64_t{p[i]} << (8 * i);
  return v;
}

// Adds the bytes of a 64-bit word pairwise into four 16-bit lanes. Each call
// adds at most 510 to a lane, so a lane holds 128 calls without carrying.
constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
constexpr std::size_t kLaneCalls = 128;

std::uint64_t AddBytePairs(std::uint64_t lanes, std::uint64_t word) {
  return lanes + (word & kEvenBytes) + ((word >> 8) & kEvenBytes);
}

std::uint32_t FoldLanes(std::uint64_t lanes) {
  const std::uint64_t halves =
      (lanes & 0x0000FFFF0000FFFFull) + ((lanes >> 16) & 0x0000FFFF0000FFFFull);
  return static_cast<std::uint32_t>(halves + (halves >> 32));
}

// The plain sum, modulo 2^32, of the bytes in [begin, end).
std::uint32_t SumBytes(const std::uint8_t* begin, const std::uint8_t* end) {
  std::uint32_t sum = 0;
  while (static_cast<std::size_t>(end - begin) >= 8 * kLaneCalls) {
    std::uint64_t lanes = 0;
    for (std::size_t i = 0; i < kLaneCalls; ++i, begin += 8) {
      lanes = AddBytePairs(lanes, LoadLittleEndian64(begin));
    }
    sum += FoldLanes(lanes);
  }
  for (; begin != end; ++begin) sum += *begin;
  return sum;
}

// Decoding appends to the caller's buffer through a raw pointer: the buffer
// is resized ahead of the decoder (geometrically, never past the most a
// stream of this input size can produce) and cut back to the bytes actually
// produced at the end. Every step writes at most kMargin bytes, so one room
// check per step keeps all writes inside the buffer.
constexpr std::size_t kMargin = 32;
constexpr std::size_t kMinimumGrowth = 4096;

struct OutputRoom {
  ByteBuffer& buffer;
  std::size_t ceiling;  // never resize beyond this
  std::uint8_t* base = nullptr;
  std::size_t limit = 0;

  void Grow(std::size_t produced) {
    std::size_t wanted = std::max({limit * 2, produced + kMargin, kMinimumGrowth});
    // Within the caller's reserved capacity no allocation happens at all.
    if (buffer.capacity() >= produced + kMargin) wanted = std::max(wanted, buffer.capacity());
    limit = std::min(wanted, ceiling);
    buffer.resize(limit);
    base = buffer.data();
  }
};

}  // namespace

std::uint32_t LzssDecode(const ByteBuffer& input, ByteBuffer& output) {
  output.clear();
  const std::uint8_t* const in = input.data();
  const std::size_t size = input.size();

  // Each 18-bit reference yields at most 18 bytes, so a stream yields at most
  // 8 bytes per input byte, plus one last token completed by zero bits.
  OutputRoom room{output, 8 * size + 18 + kMargin};
  std::size_t n = 0;  // bytes produced

  // Bit buffer: the next `count` stream bits sit at the top of `bits`. Bytes
  // from `pos` on are not yet in it; bytes at or past `size` read as zero.
  std::uint64_t bits = 0;
  unsigned count = 0;
  std::size_t pos = 0;

  // The checksum covers every input byte of which a bit was read, which is
  // known only at the end marker. Bytes well behind the read position are
  // summed in blocks while they are still in cache.
  constexpr std::size_t kSumBlock = 4096;
  std::uint32_t checksum = 0;
  std::size_t summed = 0;

  // Six literals in a row: flags at these bits of the buffer.
  constexpr std::uint64_t kSixFlags =
      1ull << 63 | 1ull << 54 | 1ull << 45 | 1ull << 36 | 1ull << 27 | 1ull << 18;

  while (true) {
    if (room.limit - n < kMargin) room.Grow(n);
    if (pos + 8 <= size) {
      // Loads eight bytes, keeps the whole ones that fit; the bits loaded
      // beyond `count` are the true next bits, so OR-ing them again later
      // changes nothing.
      bits |= LoadBigEndian64(in + pos) >> count;
      pos += (63 - count) >> 3;
      count |= 56;
      if (pos >= summed + kSumBlock + 8) {
        checksum += SumBytes(in + summed, in + summed + kSumBlock);
        summed += kSumBlock;
      }
    } else {
      while (count <= 56) {
        const std::uint64_t byte = pos < size ? in[pos] : 0;
        bits |= byte << (56 - count);
        ++pos;
        count += 8;
      }
    }
    std::uint8_t* const out = room.base + n;

    if ((bits & kSixFlags) == kSixFlags) {
      for (int k = 0; k < 6; ++k) out[k] = static_cast<std::uint8_t>(bits >> (55 - 9 * k));
      n += 6;
      bits <<= 54;
      count -= 54;
      continue;
    }
    if (bits >> 63) {
      out[0] = static_cast<std::uint8_t>(bits >> 55);
      ++n;
      bits <<= 9;
      count -= 9;
      continue;
    }
    const auto p = static_cast<std::uint32_t>(bits >> 50) & kWindowMask;
    if (p == 0) {
      bits <<= 14;
      count -= 14;
      break;
    }
    const auto length = static_cast<std::size_t>(bits >> 46 & 0xF) + 3;
    bits <<= 18;
    count -= 18;

    // The window is the output itself: window position q holds the latest
    // output byte j with j + 1 == q (mod 8192), and 0 if there is none. The
    // write position is (n + 1) mod 8192, so the source lies `distance`
    // bytes back; a reference to the write position itself reaches back a
    // whole window.
    const std::size_t d = ((n + 1) - p) & kWindowMask;
    const std::size_t distance = d == 0 ? kWindowSize : d;
    if (distance > n) {
      // Reaches back before the first output byte, into zeros.
      for (std::size_t i = 0; i < length; ++i, ++n) {
        room.base[n] = n >= distance ? room.base[n - distance] : 0;
      }
    } else if (distance >= 8) {
      // Each 8-byte chunk reads only bytes already final; the bytes copied
      // past `length` lie within the margin and are overwritten later.
      const std::uint8_t* src = out - distance;
      std::memcpy(out, src, 8);
      std::memcpy(out + 8, src + 8, 8);
      std::memcpy(out + 16, src + 16, 8);
      n += length;
    } else {
      // Overlapping: byte by byte repeats the bytes just produced.
      const std::uint8_t* src = out - distance;
      for (std::size_t i = 0; i < length; ++i) out[i] = src[i];
      n += length;
    }
  }

  const std::size_t bitsRead = 8 * pos - count;
  const std::size_t touched = std::min((bitsRead + 7) / 8, size);
  checksum += SumBytes(in + summed, in + touched);
  output.resize(n);
  return checksum;
}

std::uint32_t LzssStore(const ByteBuffer& input, ByteBuffer& output) {
  const std::size_t n = input.size();
  output.clear();
  output.resize((9 * n + 14 + 7) / 8);
  const std::uint8_t* in = input.data();
  std::uint8_t* out = output.data();

  // Eight literals are 72 bits: the first 64 are seven flag-and-byte pairs
  // and the eighth flag, the last 8 the eighth byte.
  std::uint32_t checksum = 0;
  std::size_t groups = n / 8;
  while (groups > 0) {
    const std::size_t batch = std::min(groups, kLaneCalls);
    std::uint64_t lanes = 0;
    std::uint32_t lastBytes = 0;
    for (std::size_t g = 0; g < batch; ++g, in += 8, out += 9) {
      const std::uint64_t x = LoadLittleEndian64(in);
      std::uint64_t word = 1;
      for (int i = 0; i < 7; ++i) word |= ((x >> (8 * i) & 0xFF) | 0x100) << (55 - 9 * i);
      StoreBigEndian64(out, word);
      out[8] = static_cast<std::uint8_t>(x >> 56);
      lanes = AddBytePairs(lanes, word);
      lastBytes += out[8];
    }
    checksum += FoldLanes(lanes) + lastBytes;
    groups -= batch;
  }

  // The last n % 8 literals and the end marker, through a small bit
  // accumulator; the zero fill comes from the buffer's zeroed bytes.
  std::uint64_t acc = 0;
  unsigned pending = 0;
  const auto put = [&](std::uint32_t value, unsigned width) {
    acc = acc << width | value;
    pending += width;
    while (pending >= 8) {
      pending -= 8;
      *out = static_cast<std::uint8_t>(acc >> pending);
      checksum += *out++;
    }
  };
  for (const std::uint8_t* end = input.data() + n; in != end; ++in) put(0x100u | *in, 9);
  put(0, 14);
  if (pending > 0) {
    *out = static_cast<std::uint8_t>(acc << (8 - pending));
    checksum += *out;
  }
  return checksum;
}

}  // namespace qev
