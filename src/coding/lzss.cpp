// The fast codec. It must match lzss_reference.cpp byte for byte and
// checksum for checksum, on every input including truncated and damaged
// streams.
//
// Both directions lean on one fact: eight literals are 72 bits, nine whole
// bytes, so along a run of literals every group of eight starts at the same
// bit offset within its first byte. Byte i of a group sits at bits 55 - 9i
// up of the group's first 64-bit big-endian word, and at bits 56 - 8i up of
// the plain word. The scalar code converts a group by moving these seven
// 8-bit fields in three masked steps. Where SSE2 is available (every x86-64
// compiler) two groups are converted at once with one 16-bit lane per byte,
// the lanes shifting by different amounts through multiplies.
#include "coding/lzss.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#define QEV_LZSS_SSE2 1
#include <emmintrin.h>
#endif

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

// The plain sum, modulo 2^32, of the bytes in [begin, end).
std::uint32_t SumBytes(const std::uint8_t* begin, const std::uint8_t* end) {
  std::uint32_t sum = 0;
#if QEV_LZSS_SSE2
  __m128i lanes = _mm_setzero_si128();
  for (; end - begin >= 16; begin += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin));
    lanes = _mm_add_epi64(lanes, _mm_sad_epu8(v, _mm_setzero_si128()));
  }
  sum = static_cast<std::uint32_t>(_mm_cvtsi128_si32(lanes)) +
        static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(lanes, lanes)));
#endif
  for (; begin != end; ++begin) sum += *begin;
  return sum;
}

// Masks and shifts of the group conversion. FieldMask selects the fields
// i < 7 with (i & step) set, field i's low bit being at 56 - 8i - shifted(i).
constexpr std::uint64_t kEightFlags =
    1ull << 63 | 1ull << 54 | 1ull << 45 | 1ull << 36 | 1ull << 27 | 1ull << 18 | 1ull << 9 | 1ull;

template <typename Shifted>
constexpr std::uint64_t FieldMask(unsigned step, Shifted shifted) {
  std::uint64_t mask = 0;
  for (int i = 0; i < 7; ++i) {
    if (static_cast<unsigned>(i) & step) mask |= 0xFFull << (56 - 8 * i - shifted(i));
  }
  return mask;
}

// Spreading moves the fields right, widest step first, so that no field
// crosses another; a final shift by one makes room for the flags.
constexpr std::uint64_t kSpread4 = FieldMask(4, [](int) { return 0; });
constexpr std::uint64_t kSpread2 = FieldMask(2, [](int i) { return i & 4; });
constexpr std::uint64_t kSpread1 = FieldMask(1, [](int i) { return i & 6; });

// Gathering drops the flags and moves every field up by one, which leaves
// field i exactly i bits below its plain place; then the fields move left,
// narrowest step first.
constexpr std::uint64_t kGather1 = FieldMask(1, [](int i) { return i; });
constexpr std::uint64_t kGather2 = FieldMask(2, [](int i) { return i & ~1; });
constexpr std::uint64_t kGather4 = FieldMask(4, [](int i) { return i & ~3; });

// Bytes 0..6 of plain (big-endian order) as seven literals and the eighth
// flag.
std::uint64_t SpreadLiterals(std::uint64_t plain) {
  std::uint64_t t = plain & ~0xFFull;
  std::uint64_t m = t & kSpread4;
  t = (t ^ m) | (m >> 4);
  m = t & kSpread2;
  t = (t ^ m) | (m >> 2);
  m = t & kSpread1;
  t = (t ^ m) | (m >> 1);
  return (t >> 1) | kEightFlags;
}

// The inverse of SpreadLiterals: bytes 0..6 in big-endian order, low byte 0.
std::uint64_t GatherLiterals(std::uint64_t packed) {
  std::uint64_t t = (packed & ~kEightFlags) << 1;
  std::uint64_t m = t & kGather1;
  t = (t ^ m) | (m << 1);
  m = t & kGather2;
  t = (t ^ m) | (m << 2);
  m = t & kGather4;
  t = (t ^ m) | (m << 4);
  return t;
}

// The decoder writes through a raw pointer into a buffer whose bytes up to
// the write index n hold the output so far, or at least its latest 8192
// bytes with n congruent to the output's length modulo 8192 (n then is at
// least 8192), so that the window is the output itself. A limit bounds
// each run: a fast step, up to three tokens, writes at most kMargin bytes
// past n, so one room check per step keeps it below the limit. Within
// kMargin bytes of the limit the decoder goes one token at a time, writing
// exactly that token's bytes and cutting a reference's copy at the limit.
//
// The whole-stream decoder appends to the caller's buffer: it is sized
// ahead of the decoder in steps of kSizeStep (zero-filled, so each step
// touches memory, and only as far as the output has come) and cut back to
// the bytes actually produced at the end. Its capacity grows
// geometrically, never past the most a stream of this input size can
// produce, and only when the output outgrows it: a buffer reserved to the
// output's size is never reallocated.
constexpr std::size_t kMargin = 64;
constexpr std::size_t kSizeStep = 1 << 20;

struct OutputRoom {
  ByteBuffer& buffer;
  std::size_t ceiling;  // never size the buffer beyond this
  std::uint8_t* base = nullptr;
  std::size_t limit = 0;

  // Gives at least kMargin bytes of room past `produced` if the capacity
  // allows it.
  bool ExtendForFastSteps(std::size_t produced) {
    if (std::min(buffer.capacity(), ceiling) < produced + kMargin) return false;
    Extend(produced + kMargin);
    return true;
  }

  // Gives room for `count` more bytes past `produced`, reallocating if need
  // be.
  void Ensure(std::size_t produced, std::size_t count) {
    if (produced + count <= limit) return;
    if (produced + count > buffer.capacity()) {
      buffer.reserve(
          std::min(std::max({produced + count, 2 * buffer.capacity(), kSizeStep}), ceiling));
    }
    Extend(produced + count);
  }

  // Sizes the buffer to at least `needed` (within the capacity), a whole
  // step ahead where the capacity allows.
  void Extend(std::size_t needed) {
    limit = std::min({std::max(needed, limit + kSizeStep), buffer.capacity(), ceiling});
    buffer.resize(limit);
    base = buffer.data();
  }
};

// The 64 stream bits from bit `bitPos` on, with the bytes up to q + 9
// readable (q = bitPos / 8).
std::uint64_t PeekFast(const std::uint8_t* in, std::size_t bitPos) {
  const std::uint8_t* const q = in + (bitPos >> 3);
  const unsigned o = bitPos & 7;
  return LoadBigEndian64(q) << o | q[8] >> (8 - o);
}

// The same from any position: bytes at or past `size` read as zero.
std::uint64_t PeekSafe(const std::uint8_t* in, std::size_t size, std::size_t bitPos) {
  std::uint8_t bytes[10] = {};
  const std::size_t q = bitPos >> 3;
  for (std::size_t k = 0; k < 10 && q + k < size; ++k) bytes[k] = in[q + k];
  return PeekFast(bytes, bitPos & 7);
}

struct DecodePosition {
  std::size_t bitPos = 0;  // stream bits consumed
  std::size_t n = 0;       // bytes produced
  bool ended = false;      // the end marker has been read
};

// A reference, the token at the top of `bits` when its flag is 0.
struct Reference {
  std::uint32_t position;  // 0 for the end marker
  std::size_t length;
};

Reference ReadReference(std::uint64_t bits) {
  return {static_cast<std::uint32_t>(bits >> 50) & kWindowMask,
          static_cast<std::size_t>(bits >> 46 & 0xF) + 3};
}

// The window is the output itself: window position p holds the latest
// output byte j with j + 1 == p (mod 8192), and 0 if there is none. With n
// bytes produced the write position is (n + 1) mod 8192, so the source lies
// (n + 1 - p) mod 8192 bytes back, except that a reference to the write
// position itself reaches back a whole window; ((n - p) mod 8192) + 1 is
// both at once, without a branch. A source further back than n is in the
// zeros the window started with.
std::size_t SourceDistance(std::size_t n, std::uint32_t p) { return ((n - p) & kWindowMask) + 1; }

// Byte by byte, exactly as the window works: an overlapping source repeats
// the bytes just produced, a source before the first output byte reads 0.
void CopyBytes(std::uint8_t* base, std::size_t n, std::size_t distance, std::size_t length) {
  for (std::size_t j = n; j < n + length; ++j) base[j] = j >= distance ? base[j - distance] : 0;
}

// Carries out the one token at the top of `bits` (the stream from
// at.bitPos on). Writes up to 24 bytes from base + at.n. kWarm promises
// that a whole window has been produced (at.n >= 8192), so that every
// source lies in the output and the test for the initial zeros can go.
template <bool kWarm = false>
inline void DecodeToken(std::uint64_t bits, std::uint8_t* base, DecodePosition& at) {
  if (bits >> 63) {
    base[at.n++] = static_cast<std::uint8_t>(bits >> 55);
    at.bitPos += 9;
    return;
  }
  const Reference ref = ReadReference(bits);
  if (ref.position == 0) {
    at.bitPos += 14;
    at.ended = true;
    return;
  }
  at.bitPos += 18;
  const std::size_t distance = SourceDistance(at.n, ref.position);
  std::uint8_t* const out = base + at.n;
  const std::size_t length = ref.length;
  if (!kWarm && distance > at.n) {
    CopyBytes(base, at.n, distance, length);
    at.n += length;
    return;
  }
  at.n += length;
  // Copies in 8-byte chunks, each reading only bytes already final; the
  // bytes copied past `length` lie within the margin and are overwritten
  // later. A source less than 8 bytes back repeats the bytes just produced:
  // the first 8 bytes are copied so that the pattern is laid out, and the
  // source for the rest is moved to a point a whole number of pattern
  // periods and at least 8 bytes behind.
  const std::uint8_t* src = out - distance;
  if (distance < 8) {
    static constexpr std::uint8_t kSecondHalfStep[8] = {0, 1, 2, 1, 0, 4, 4, 4};
    static constexpr std::int8_t kRewind[8] = {0, 0, 0, -1, -4, 1, 2, 3};
    out[0] = src[0];
    out[1] = src[1];
    out[2] = src[2];
    out[3] = src[3];
    src += kSecondHalfStep[distance];
    std::memcpy(out + 4, src, 4);
    src -= kRewind[distance];
  } else {
    std::memcpy(out, src, 8);
    src += 8;
  }
  std::memcpy(out + 8, src, 8);
  std::memcpy(out + 16, src + 8, 8);
}

// The same, writing at most up to `limit`: a reference's copy that does
// not fit is cut there, and what is left of it goes to *pendingLength.
void DecodeTokenExactly(std::uint64_t bits, std::uint8_t* base, std::size_t limit,
                        DecodePosition& at, std::size_t* pendingDistance,
                        std::size_t* pendingLength) {
  if (bits >> 63) {
    base[at.n++] = static_cast<std::uint8_t>(bits >> 55);
    at.bitPos += 9;
    return;
  }
  const Reference ref = ReadReference(bits);
  if (ref.position == 0) {
    at.bitPos += 14;
    at.ended = true;
    return;
  }
  at.bitPos += 18;
  const std::size_t distance = SourceDistance(at.n, ref.position);
  const std::size_t count = std::min(ref.length, limit - at.n);
  CopyBytes(base, at.n, distance, count);
  at.n += count;
  *pendingDistance = distance;
  *pendingLength = ref.length - count;
}

#if QEV_LZSS_SSE2
// Per bit offset o of a group, for each literal k of it: the flag and byte
// are the 9 bits from bit t = (o + k) mod 8 of the 16-bit big-endian word
// at byte k + (o + k) / 8 of the group. The word is picked by kNextWord
// (all ones: the later byte) and shifted left by t through a multiply by
// kFieldShift; a shift right by 7 then leaves flag << 8 | byte in the lane.
struct FieldTables {
  std::uint16_t nextWord[8][8];
  std::uint16_t fieldShift[8][8];
};

constexpr FieldTables MakeFieldTables() {
  FieldTables tables{};
  for (int o = 0; o < 8; ++o) {
    for (int k = 0; k < 8; ++k) {
      tables.nextWord[o][k] = (o + k) >= 8 ? 0xFFFF : 0;
      tables.fieldShift[o][k] = static_cast<std::uint16_t>(1 << ((o + k) & 7));
    }
  }
  return tables;
}

alignas(16) constexpr FieldTables kFieldTables = MakeFieldTables();

struct LiteralLanes {
  __m128i nextWord;
  __m128i fieldShift;
};

LiteralLanes LiteralLanesFor(unsigned o) {
  return {_mm_load_si128(reinterpret_cast<const __m128i*>(kFieldTables.nextWord[o])),
          _mm_load_si128(reinterpret_cast<const __m128i*>(kFieldTables.fieldShift[o]))};
}

// The eight flag << 8 | byte fields of the group at q. Reads q[0..15].
inline __m128i LiteralFields(const std::uint8_t* q, const LiteralLanes& lanes) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
  const __m128i at0 = _mm_unpacklo_epi8(u, zero);
  const __m128i at1 = _mm_unpacklo_epi8(_mm_srli_si128(u, 1), zero);
  const __m128i at2 = _mm_unpacklo_epi8(_mm_srli_si128(u, 2), zero);
  const __m128i word0 = _mm_or_si128(_mm_slli_epi16(at0, 8), at1);
  const __m128i word1 = _mm_or_si128(_mm_slli_epi16(at1, 8), at2);
  const __m128i word =
      _mm_or_si128(_mm_and_si128(lanes.nextWord, word1), _mm_andnot_si128(lanes.nextWord, word0));
  return _mm_srli_epi16(_mm_mullo_epi16(word, lanes.fieldShift), 7);
}

// Two groups of eight literals, at q and q + 9 with the bit offset that
// `lanes` was made for, if both are literals. Reads q[0..24], writes
// out[0..15].
inline bool DecodeLiteralPair(const std::uint8_t* q, const LiteralLanes& lanes, std::uint8_t* out) {
  const __m128i first = LiteralFields(q, lanes);
  const __m128i second = LiteralFields(q + 9, lanes);
  const __m128i flag = _mm_set1_epi16(0x100);
  const __m128i flags = _mm_and_si128(_mm_and_si128(first, second), flag);
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(flags, flag)) != 0xFFFF) return false;
  const __m128i low = _mm_set1_epi16(0xFF);
  const __m128i bytes = _mm_packus_epi16(_mm_and_si128(first, low), _mm_and_si128(second, low));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
  return true;
}
#endif

// Decodes groups of eight literals from at.bitPos on, as long as they come,
// each group starting before qStop and at an output position up to outStop
// (both checked before every step; the first group is known to qualify). A
// group is 72 bits, so the bit offset within the byte stays the same along
// the run. Reads up to 25 bytes from the group's first byte.
inline void DecodeLiteralGroups(const std::uint8_t* in, const std::uint8_t* qStop,
                                std::uint8_t* base, std::uint8_t* outStop, DecodePosition& at) {
  const unsigned o = at.bitPos & 7;
  const std::uint8_t* q = in + (at.bitPos >> 3);
  std::uint8_t* out = base + at.n;
#if QEV_LZSS_SSE2
  const LiteralLanes lanes = LiteralLanesFor(o);
#endif
  do {
#if QEV_LZSS_SSE2
    if (DecodeLiteralPair(q, lanes, out)) {
      q += 18;
      out += 16;
      continue;
    }
#endif
    const std::uint64_t a = LoadBigEndian64(q);
    const std::uint64_t b = LoadBigEndian64(q + 8);
    const std::uint64_t bits = a << o | (b >> 1) >> (63 - o);
    if ((bits & kEightFlags) != kEightFlags) break;
    // The eighth byte is the 8 bits after the 64.
    StoreBigEndian64(out, GatherLiterals(bits) | (b << o) >> 56);
    q += 9;
    out += 8;
  } while (q < qStop && out <= outStop);
  const auto groups = static_cast<std::size_t>(out - (base + at.n)) / 8;
  at.bitPos += 72 * groups;
  at.n += 8 * groups;
}

// A run reads 64 stream bits from every bit position before this many
// bytes from the end of its input; nearer the end, through PeekSafe.
constexpr std::size_t kFastTail = 32;
// Bytes behind the read position are summed for the checksum in blocks of
// this size while they are still in cache.
constexpr std::size_t kSumBlock = 4096;
// The streaming decoder keeps at least a window of output and at most two,
// moving it back by whole windows, so that positions keep their place
// modulo 8192.
constexpr std::size_t kKeep = 2 * kWindowSize;

}  // namespace

LzssDecoder::LzssDecoder() = default;

void LzssDecoder::Reset() {
  ByteBuffer window;
  window.swap(window_);
  *this = LzssDecoder();
  window_.swap(window);
}

void LzssDecoder::SumThrough(const std::uint8_t* in, std::uint64_t inStart, std::uint64_t end) {
  if (end <= summed_) return;
  checksum_ += SumBytes(in + (summed_ - inStart), in + (end - inStart));
  summed_ = end;
}

bool LzssDecoder::CopyPending(std::uint8_t* base, std::size_t& n, std::size_t limit) {
  const std::size_t count = std::min(pendingLength_, limit - n);
  CopyBytes(base, n, pendingDistance_, count);
  n += count;
  pendingLength_ -= count;
  return pendingLength_ == 0;
}

// Decodes from the bytes [inStart, inStart + size) of the stream (the read
// position lies within them or, when `last`, possibly past them in the
// zero bits after the stream), writing from base + n up to base + limit.
// Without `last` it stops before a token that might not be whole within
// them. Sums the bytes read through for the checksum.
LzssDecoder::Stop LzssDecoder::Run(const std::uint8_t* const in, const std::size_t size,
                                   const std::uint64_t inStart, const bool last,
                                   std::uint8_t* const base, std::size_t& n,
                                   const std::size_t limit) {
  DecodePosition at{static_cast<std::size_t>(bit_ - 8 * inStart), n, false};
  const std::size_t fastEnd = size >= kFastTail ? 8 * (size - kFastTail) : 0;
  const std::size_t bitsIn = 8 * size;
  Stop stop = Stop::kEnded;
  while (!at.ended) {
    // The read position can lie past the end of the input, in the zero
    // bits that complete a cut token; only blocks within the input count.
    for (std::uint64_t next = summed_ + kSumBlock;
         inStart + (at.bitPos >> 3) >= next && next <= inStart + size; next += kSumBlock) {
      SumThrough(in, inStart, next);
    }
    if (limit - at.n < kMargin || at.bitPos >= fastEnd) {
      if (!last && at.bitPos + 18 > bitsIn) {
        stop = Stop::kInput;
        break;
      }
      const std::uint64_t bits = PeekSafe(in, size, at.bitPos);
      if (limit - at.n >= kMargin) {
        DecodeToken(bits, base, at);
        continue;
      }
      // The end marker needs no room.
      if (at.n == limit && bits >> 50 != 0) {
        stop = Stop::kRoom;
        break;
      }
      DecodeTokenExactly(bits, base, limit, at, &pendingDistance_, &pendingLength_);
      if (pendingLength_ > 0) {
        stop = Stop::kRoom;
        break;
      }
      continue;
    }

    // The hot loop, bounded so that the checks above run every few KiB.
    const std::size_t stopBit = std::min(fastEnd, at.bitPos + 8 * kSumBlock);
    const std::size_t stopN = limit - kMargin;
    DecodePosition local = at;
    while (local.bitPos < stopBit && local.n <= stopN) {
      const std::size_t start = local.bitPos;
      const std::uint64_t bits = PeekFast(in, start);
      if ((bits & kEightFlags) == kEightFlags) {
        DecodeLiteralGroups(in, in + (stopBit >> 3), base, base + stopN, local);
        continue;
      }
      // Up to three tokens (at most 54 bits) come out of one peeked word,
      // which keeps loads off the chain from one token to the next. The
      // branch on literal or reference stays: while it is predicted, the
      // next token's bit position is known at once. A version that
      // selected by masks instead ran slower on every stream measured,
      // random mixes included: it does the work of both kinds for every
      // token and puts the flag on the chain from one token to the next.
      if (local.n >= kWindowSize) {
        DecodeToken<true>(bits, base, local);
        if (local.ended) break;
        DecodeToken<true>(bits << (local.bitPos - start), base, local);
        if (local.ended) break;
        DecodeToken<true>(bits << (local.bitPos - start), base, local);
        if (local.ended) break;
        continue;
      }
      DecodeToken(bits, base, local);
      if (local.ended) break;
      DecodeToken(bits << (local.bitPos - start), base, local);
      if (local.ended) break;
      DecodeToken(bits << (local.bitPos - start), base, local);
      if (local.ended) break;
    }
    at = local;
  }
  bit_ = 8 * inStart + at.bitPos;
  n = at.n;
  ended_ = at.ended;
  // The checksum covers every byte of which a bit was read, which is known
  // only at the end marker; until then, the bytes read through.
  const std::uint64_t through = ended_ ? (bit_ + 7) / 8 : bit_ / 8;
  SumThrough(in, inStart, std::min(through, inStart + size));
  return stop;
}

std::size_t LzssDecoder::Decode(const std::uint8_t* in, std::size_t size, bool last,
                                std::size_t room) {
  if (window_.empty()) window_.resize(kKeep + kMaxOutput + kMargin);
  if (n_ + kMaxOutput + kMargin > window_.size()) {
    const std::size_t shift = (n_ - kWindowSize) & ~std::size_t{kWindowMask};
    std::memmove(window_.data(), window_.data() + shift, n_ - shift);
    n_ -= shift;
  }
  outputStart_ = n_;
  const std::size_t limit = n_ + (room == 0 ? kMaxOutput : std::min(room, kMaxOutput));
  std::uint8_t* const base = window_.data();
  if (ended_ || !CopyPending(base, n_, limit)) return 0;

  std::size_t used = 0;  // of the size bytes at in, which start at byte taken_
  while (true) {
    if (carrySize_ == 0) {
      const Stop stop = Run(in, size, taken_, last, base, n_, limit);
      const std::size_t through = static_cast<std::size_t>(bit_ / 8 - taken_);
      if (stop != Stop::kInput) {
        used = std::min(through, size);
        break;
      }
      // Fewer than 18 bits are left: at most 3 bytes wait for the next.
      carrySize_ = size - through;
      if (carrySize_ > 0) std::memcpy(carry_, in + through, carrySize_);
      used = size;
      break;
    }
    // A token cut short by the end of the last piece: the carried bytes and
    // the next ones of this piece, decoded from a copy.
    const std::size_t add = std::min(size - used, sizeof carry_ - carrySize_);
    if (add > 0) std::memcpy(carry_ + carrySize_, in + used, add);
    carrySize_ += add;
    used += add;
    const std::uint64_t carryStart = taken_ + used - carrySize_;
    const Stop stop = Run(carry_, carrySize_, carryStart, last && used == size, base, n_, limit);
    if (stop != Stop::kInput) break;
    const std::uint64_t q = bit_ / 8;
    const auto drop = static_cast<std::size_t>(q - carryStart);
    carrySize_ -= drop;
    std::memmove(carry_, carry_ + drop, carrySize_);
    if (q >= taken_) {
      // What is left lies in this piece: read on from there.
      used = static_cast<std::size_t>(q - taken_);
      carrySize_ = 0;
    } else if (used == size) {
      break;
    }
  }
  taken_ += used;
  return used;
}

std::uint32_t LzssDecode(const ByteBuffer& input, ByteBuffer& output) {
  return LzssDecodeBytes(input.data(), input.size(), output);
}

std::uint32_t LzssDecodeBytes(const std::uint8_t* const in, const std::size_t size,
                              ByteBuffer& output) {
  output.clear();
  // Each 18-bit reference yields at most 18 bytes, so a stream yields at most
  // 8 bytes per input byte, plus one last token completed by zero bits.
  OutputRoom room{output, 8 * size + 18 + kMargin};
  LzssDecoder decoder;
  std::size_t n = 0;
  while (!decoder.CopyPending(room.base, n, room.limit) ||
         decoder.Run(in, size, 0, true, room.base, n, room.limit) != LzssDecoder::Stop::kEnded) {
    if (room.ExtendForFastSteps(n)) continue;
    if (room.limit < std::min(output.capacity(), room.ceiling)) {
      room.Extend(room.limit + 1);
    } else {
      room.Ensure(n, kMargin);
    }
  }
  output.resize(n);
  return decoder.checksum_;
}

namespace {

// Groups of eight literals: 8 input bytes to 9 stream bytes, a whole
// number of bytes, so every group starts on a byte boundary. Returns the
// sum of the bytes written.
std::uint32_t StoreGroups(const std::uint8_t* in, std::size_t groups, std::uint8_t* out) {
  std::uint32_t checksum = 0;
#if QEV_LZSS_SSE2
  // Two groups per step, in 16-bit lanes, one lane per output byte k < 8:
  // byte k holds the low k bits of input byte k - 1, the flag and the high
  // 7 - k bits of input byte k, which is the 16-bit value
  // (byte[k - 1] << 9 | 0x100 | byte[k]) shifted right by k + 1. The lanes
  // shift by different amounts through an unsigned high multiply by
  // 2^(15 - k). Output byte 8 is input byte 7 as it is.
  const __m128i zero = _mm_setzero_si128();
  const __m128i flag = _mm_set1_epi16(0x100);
  const __m128i low = _mm_set1_epi16(0xFF);
  const __m128i shifts = _mm_set_epi16(1 << 8, 1 << 9, 1 << 10, 1 << 11, 1 << 12, 1 << 13, 1 << 14,
                                       static_cast<short>(1 << 15));
  const auto encode = [&](__m128i bytes) {
    const __m128i previous = _mm_slli_si128(bytes, 2);
    const __m128i pairs = _mm_or_si128(_mm_or_si128(_mm_slli_epi16(previous, 9), bytes), flag);
    return _mm_and_si128(_mm_mulhi_epu16(pairs, shifts), low);
  };
  __m128i lanes = _mm_setzero_si128();
  std::uint32_t eighthBytes = 0;
  for (; groups >= 2; groups -= 2, in += 16, out += 18) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i packed =
        _mm_packus_epi16(encode(_mm_unpacklo_epi8(x, zero)), encode(_mm_unpackhi_epi8(x, zero)));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), packed);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 9), _mm_unpackhi_epi64(packed, packed));
    out[8] = in[7];
    out[17] = in[15];
    lanes = _mm_add_epi64(lanes, _mm_sad_epu8(packed, zero));
    eighthBytes += in[7] + in[15];
  }
  checksum = eighthBytes + static_cast<std::uint32_t>(_mm_cvtsi128_si32(lanes)) +
             static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_unpackhi_epi64(lanes, lanes)));
#endif
  std::uint8_t* const scalar = out;
  for (; groups > 0; --groups, in += 8, out += 9) {
    StoreBigEndian64(out, SpreadLiterals(LoadBigEndian64(in)));
    out[8] = in[7];
  }
  return checksum + SumBytes(scalar, out);
}

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
    checksum_ += StoreGroups(held_, 1, out.data() + out.size() - 9);
    heldSize_ = 0;
  }
  const std::size_t groups = size / 8;
  if (groups > 0) {
    // One zero fill for all the groups costs less than many small ones.
    const std::size_t start = out.size();
    out.resize(start + 9 * groups);
    checksum_ += StoreGroups(data, groups, out.data() + start);
  }
  heldSize_ = size % 8;
  if (heldSize_ > 0) std::memcpy(held_, data + 8 * groups, heldSize_);
}

std::uint32_t LzssStoreEncoder::Finish(ByteBuffer& out) {
  // The last literals and the end marker, through a small bit accumulator;
  // the last byte's unwritten low bits are zero.
  const std::size_t start = out.size();
  out.resize(start + (9 * heldSize_ + 14 + 7) / 8);
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
  for (std::size_t i = 0; i < heldSize_; ++i) put(0x100u | held_[i], 9);
  put(0, 14);
  if (pending > 0) *p = static_cast<std::uint8_t>(acc << (8 - pending));
  heldSize_ = 0;
  return checksum_ += SumBytes(out.data() + start, out.data() + out.size());
}

std::uint32_t LzssStore(const ByteBuffer& input, ByteBuffer& output) {
  output.clear();
  output.reserve((9 * input.size() + 14 + 7) / 8);
  LzssStoreEncoder encoder;
  encoder.Put(input.data(), input.size(), output);
  return encoder.Finish(output);
}

}  // namespace qev
