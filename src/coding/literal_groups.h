// Runs of literals, eight at a time, in both directions; and the byte sums
// of the checksum. The decoder and the store encoder both build on these.
//
// Both directions lean on one fact: eight literals are 72 bits, nine whole
// bytes, so along a run of literals every group of eight starts at the same
// bit offset within its first byte. Byte i of a group sits at bits 55 - 9i
// up of the group's first 64-bit big-endian word, and at bits 56 - 8i up of
// the plain word. The scalar code converts a group by moving these seven
// 8-bit fields in three masked steps. Where SSE2 is available (every x86-64
// compiler) two groups are converted at once with one 16-bit lane per byte,
// the lanes shifting by different amounts through multiplies.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64)
#define QEV_LZSS_SSE2 1
#include <emmintrin.h>
#endif

namespace qev::lzss {

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  // Compilers turn this byte assembly into one load and a byte swap.
  return std::uint64_t{p[0]} << 56 | std::uint64_t{p[1]} << 48 | std::uint64_t{p[2]} << 40 |
         std::uint64_t{p[3]} << 32 | std::uint64_t{p[4]} << 24 | std::uint64_t{p[5]} << 16 |
         std::uint64_t{p[6]} << 8 | std::uint64_t{p[7]};
}

inline void StoreBigEndian64(std::uint8_t* p, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<std::uint8_t>(v >> (56 - 8 * i));
}

// The plain sum, modulo 2^32, of the bytes in [begin, end).
inline std::uint32_t SumBytes(const std::uint8_t* begin, const std::uint8_t* end) {
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
inline std::uint64_t SpreadLiterals(std::uint64_t plain) {
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
inline std::uint64_t GatherLiterals(std::uint64_t packed) {
  std::uint64_t t = (packed & ~kEightFlags) << 1;
  std::uint64_t m = t & kGather1;
  t = (t ^ m) | (m << 1);
  m = t & kGather2;
  t = (t ^ m) | (m << 2);
  m = t & kGather4;
  t = (t ^ m) | (m << 4);
  return t;
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

inline LiteralLanes LiteralLanesFor(unsigned o) {
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

// Decodes groups of eight literals from stream bit bitPos of `in` on,
// writing from out, as long as they come, each group starting before qStop
// and at an output position up to outStop (both checked before every step;
// the first group is known to qualify). A group is 72 bits, so the bit
// offset within the byte stays the same along the run. Reads up to 25
// bytes from the group's first byte. Returns the number of groups.
inline std::size_t DecodeLiteralGroups(const std::uint8_t* in, std::size_t bitPos,
                                       const std::uint8_t* qStop, std::uint8_t* const out,
                                       const std::uint8_t* outStop) {
  const unsigned o = bitPos & 7;
  const std::uint8_t* q = in + (bitPos >> 3);
  std::uint8_t* next = out;
#if QEV_LZSS_SSE2
  const LiteralLanes lanes = LiteralLanesFor(o);
#endif
  do {
#if QEV_LZSS_SSE2
    if (DecodeLiteralPair(q, lanes, next)) {
      q += 18;
      next += 16;
      continue;
    }
#endif
    const std::uint64_t a = LoadBigEndian64(q);
    const std::uint64_t b = LoadBigEndian64(q + 8);
    const std::uint64_t bits = a << o | (b >> 1) >> (63 - o);
    if ((bits & kEightFlags) != kEightFlags) break;
    // The eighth byte is the 8 bits after the 64.
    StoreBigEndian64(next, GatherLiterals(bits) | (b << o) >> 56);
    q += 9;
    next += 8;
  } while (q < qStop && next <= outStop);
  return static_cast<std::size_t>(next - out) / 8;
}

// Groups of eight literals: 8 input bytes to 9 stream bytes, a whole
// number of bytes, so every group starts on a byte boundary. Returns the
// sum of the bytes written.
inline std::uint32_t StoreLiteralGroups(const std::uint8_t* in, std::size_t groups,
                                        std::uint8_t* out) {
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

}  // namespace qev::lzss
