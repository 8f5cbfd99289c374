#include "coding/lzss.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "coding/bit_stream.h"
#include "coding/block_parser.h"
#include "coding/lzss_compress.h"
#include "coding/lzss_stream.h"
#include "coding/match_finder.h"
#include "support/archive_bytes.h"
#include "support/lzss_reference.h"

namespace qev {
namespace {

using namespace lzss;

struct StreamBuilder : test::Bits {
  StreamBuilder& Literal(std::uint8_t b) { return Put(lzss::kLiteralBits, 0x100 | b), *this; }
  StreamBuilder& Reference(std::uint32_t p, std::uint32_t l) {
    return Put(lzss::kReferenceBits, p << lzss::kLengthBits | l), *this;
  }
  ByteBuffer End() { return Put(lzss::kEndMarkerBits, 0), ByteBuffer(bytes.begin(), bytes.end()); }
};

// A codec's output and checksum.
using Coded = std::pair<ByteBuffer, std::uint32_t>;

ByteBuffer Prefix(const ByteBuffer& bytes, std::size_t length) {
  return ByteBuffer(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
}

// Piece sizes and output rooms: often 1, often a few, sometimes thousands.
std::mt19937 pieceRng(2026);
std::size_t PieceSize() {
  const std::uint32_t r = pieceRng();
  return r % 3 == 0 ? 1 : r % 3 == 1 ? r % 40 : r % 5000;
}

EndingReference Ending(const LzssDecoder& decoder) {
  const StreamEnding& e = decoder.Ending();
  return {e.bits, e.stored, e.zeroFill, e.zeroReads};
}

// The fast decoder as the reference: whole, in pieces and into rooms.
Coded DecodeBoth(const ByteBuffer& stream) {
  Coded expected, whole, pieces, rooms;
  EndingReference end;
  expected.second = LzssDecodeEndingReference(stream, expected.first, end);
  whole.second = LzssDecode(stream, whole.first);
  LzssDecoder decoder;
  for (std::size_t at = 0, calls = 0; !decoder.Ended() && calls < 10000000; ++calls) {
    const std::size_t size = std::min(PieceSize(), stream.size() - at);
    at += decoder.Decode(stream.data() + at, size, at + size == stream.size(), PieceSize());
    pieces.first.insert(pieces.first.end(), decoder.Output(),
                        decoder.Output() + decoder.OutputSize());
  }
  pieces.second = decoder.Checksum();
  constexpr std::uint8_t kGuard = 0xA5;
  ByteBuffer out(expected.first.size() + 2 * LzssDecoder::kFastRoom + 2000, kGuard);
  LzssDecoder into;
  std::size_t produced = 0;
  bool ended = false;
  for (int calls = 0; !ended && calls < 10000000 && !::testing::Test::HasFailure(); ++calls) {
    const std::size_t limit = std::min(out.size(), produced + PieceSize());
    ended = into.DecodeWhole(stream.data(), stream.size(), out.data(), produced, limit);
    EXPECT_TRUE(produced <= limit && std::all_of(out.begin() + static_cast<std::ptrdiff_t>(limit),
                                                 out.end(), [](auto b) { return b == kGuard; }));
    if (pieceRng() % 4 == 0) ByteBuffer(out).swap(out);
  }
  rooms = {Prefix(out, produced), into.Checksum()};
  EXPECT_TRUE(whole == expected && pieces == expected && rooms == expected);
  EXPECT_TRUE(Ending(decoder) == end && Ending(into) == end);
  return expected;
}

// The same for storing plain as literals.
Coded StoreBoth(const ByteBuffer& plain) {
  Coded expected, whole, pieces;
  expected.second = LzssStoreReference(plain, expected.first);
  whole.second = LzssStore(plain, whole.first);
  LzssStoreEncoder encoder;
  for (std::size_t at = 0, size = 0; at < plain.size(); at += size) {
    size = std::min(PieceSize(), plain.size() - at);
    encoder.Put(plain.data() + at, size, pieces.first);
  }
  pieces.second = encoder.Finish(pieces.first);
  EXPECT_TRUE(whole == expected && pieces == expected);
  return expected;
}

ByteBuffer Random(std::size_t size, std::uint32_t seed, unsigned alphabet = 256) {
  std::mt19937 rng(seed);
  ByteBuffer out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng() % alphabet);
  return out;
}

TEST(Lzss, WorkedExamples) {
  // Plain, stream, checksum: stored ones, then a self-overlapping reference.
  const std::tuple<ByteBuffer, ByteBuffer, std::uint32_t> cases[] = {
      {{}, {0x00, 0x00}, 0},
      {{0x61}, {0xB0, 0x80, 0x00}, 304},
      {{0x61, 0x62, 0x63}, {0xB0, 0xD8, 0xAC, 0x60, 0x00, 0x00}, 660},
      {{0x61, 0x62, 0x61, 0x62, 0x61, 0x62, 0x61}, {0xB0, 0xD8, 0x80, 0x01, 0x20, 0x00, 0x00}, 553},
  };
  for (const auto& [plain, stream, checksum] : cases) {
    EXPECT_EQ(DecodeBoth(stream), Coded(plain, checksum)) << plain.size();
    EXPECT_TRUE(plain.size() == 7 || StoreBoth(plain) == Coded(stream, checksum)) << plain.size();
  }
  // A cut length field, the initial zeros, p = 8191, the write position.
  const std::pair<ByteBuffer, ByteBuffer> built[] = {
      {Prefix(StreamBuilder().Literal(0x61).Reference(1, 15).End(), 3), ByteBuffer(12, 0x61)},
      {StreamBuilder().Reference(100, 0).End(), ByteBuffer(3, 0)},
      {StreamBuilder().Literal(0x41).Reference(kWindowMask, 2).End(), {0x41, 0, 0, 0x41, 0, 0}},
      {StreamBuilder().Literal(1).Literal(2).Reference(3, 0).Reference(1, 3).End(),
       {1, 2, 0, 0, 0, 1, 2, 0, 0, 0, 1}}};
  for (const auto& [stream, plain] : built) EXPECT_EQ(DecodeBoth(stream).first, plain);
  // A reference cut 9 bits short of its end: the checksum covers the input only.
  StreamBuilder cut;
  for (int i = 0; i < 3639; ++i) cut.Literal(0x5A);
  DecodeBoth(Prefix(cut.Reference(1 << 12, 0).End(), 4095));
}

// Packed integers between two marker bits, as the tests' encoder writes them.
TEST(PackedInt, NarrowestClassAtEveryBoundary) {
  ByteBuffer out;
  BitWriter writer;
  BitReader reader;
  for (const std::uint32_t value : {0u, 255u, 256u, 65535u, 65536u, 16777215u, 16777216u, ~0u}) {
    writer.Reset(out);
    writer.WriteBit(true);
    WritePackedInt(writer, value);
    writer.WriteBit(true);
    const std::string expected = test::Bits().Put(1, 1).Packed(value).Put(1, 1).bytes;
    EXPECT_EQ(std::string(out.begin(), out.end()), expected) << value;
    reader.Reset(out);
    EXPECT_TRUE(reader.ReadBit() && ReadPackedInt(reader) == value && reader.ReadBit()) << value;
  }
}

// Runs of literals and references anywhere, many overlapping their output.
ByteBuffer RandomStream(std::mt19937& rng, int tokens) {
  StreamBuilder stream;
  std::uint32_t w = 1;
  for (int t = 0; t < tokens; ++t) {
    if (rng() % 2 == 0) {  // long runs: the many-literal paths, at every bit offset
      const int run = static_cast<int>(rng() % 8 == 0 ? rng() % 64 : rng() % 20);
      for (int i = 0; i < run; ++i, w = (w + 1) & kWindowMask) stream.Literal(rng() & 255);
    } else {
      const std::uint32_t p =
          rng() % 2 == 0 ? rng() % kWindowMask + 1 : (w - rng() % 24) & kWindowMask;
      const std::uint32_t l = rng() % 16;
      stream.Reference(p == 0 ? kWindowMask : p, l);
      w = (w + l + lzss::kMinMatch) & kWindowMask;
    }
  }
  return stream.End();
}

TEST(Lzss, FastCodecMatchesReferenceOnRandomInput) {
  // Bytes of every length up to 300 stored and decoded back.
  for (std::size_t n = 0; n <= 300 && !HasFailure(); ++n) {
    const ByteBuffer input = Random(n, static_cast<std::uint32_t>(n));
    const Coded stored = StoreBoth(input);
    EXPECT_EQ(stored.first.size(), StoredStreamLength(n)) << n;
    EXPECT_EQ(DecodeBoth(stored.first), Coded(input, stored.second)) << n;
  }
  std::mt19937 rng(16);
  // Wrapping the window several times; garbage after the end marker changes nothing.
  for (int round = 0; round < 4 && !HasFailure(); ++round) {
    ByteBuffer stream = RandomStream(rng, 6000);
    const Coded whole = DecodeBoth(stream);
    for (int i = 0; i < 40; ++i) stream.push_back(static_cast<std::uint8_t>(rng()));
    EXPECT_EQ(DecodeBoth(stream), whole);
  }
  const ByteBuffer stream = RandomStream(rng, 300);
  for (std::size_t length = 0; length <= stream.size() && !HasFailure(); ++length) {
    SCOPED_TRACE("cut to " + std::to_string(length));
    DecodeBoth(Prefix(stream, length));
  }
  // Plain noise is a stream too, with bytes after its end marker.
  for (int round = 0; round < 200 && !HasFailure(); ++round) {
    ByteBuffer noise(rng() % 3000);
    for (auto& b : noise) b = static_cast<std::uint8_t>(rng() % 4 ? rng() : 0xFF);
    DecodeBoth(noise);
  }
}

// Every length tried, the longest kept on ties: the bits but the end marker.
std::uint32_t ShortestPathSimply(std::uint8_t* steps, std::size_t length) {
  std::vector<std::uint32_t> cost(length + 1, 0);
  for (std::size_t i = length; i-- > 0;) {
    cost[i] = cost[i + 1] + lzss::kLiteralBits;
    const std::uint32_t longest = steps[i];
    steps[i] = 1;
    for (std::uint32_t k = lzss::kMinMatch; k <= longest; ++k) {
      if (cost[i + k] + lzss::kReferenceBits <= cost[i]) {
        cost[i] = cost[i + k] + lzss::kReferenceBits;
        steps[i] = static_cast<std::uint8_t>(k);
      }
    }
  }
  return cost[0];
}

// How many bytes at `at` match those d back, up to most.
std::size_t Common(const ByteBuffer& bytes, std::size_t at, std::size_t d, std::size_t most) {
  std::size_t k = 0;
  while (k < most && bytes[at - d + k] == bytes[at + k]) ++k;
  return k;
}

// The longest match at each position, no source at window position 0.
std::vector<std::uint8_t> LongestMatches(const ByteBuffer& bytes, std::size_t start,
                                         std::size_t end) {
  std::vector<std::uint8_t> longest(end - start);
  std::vector<std::size_t> previous(end);  // the position before with the same 3 bytes
  std::unordered_map<std::uint32_t, std::size_t> newest;
  for (std::size_t at = 1; at + 2 < end; ++at) {
    std::size_t& last = newest[bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16];
    previous[at] = std::exchange(last, at);
    const std::size_t most = std::min<std::size_t>(kMaxMatch, end - at);
    for (std::size_t from = previous[at];
         at >= start && from != 0 && at - from <= kWindowSize && longest[at - start] < most;
         from = previous[from]) {
      if (from % kWindowSize != 0)
        longest[at - start] =
            std::max<std::size_t>(longest[at - start], Common(bytes, at, at - from, most));
    }
  }
  return longest;
}

// The shortest stream in bits: input after the window's initial zeros.
std::size_t OptimalBits(const ByteBuffer& input) {
  ByteBuffer bytes(kWindowSize + 1 + input.size(), 0);
  std::copy(input.begin(), input.end(), bytes.begin() + kWindowSize + 1);
  std::vector<std::uint8_t> steps = LongestMatches(bytes, kWindowSize + 1, bytes.size());
  return lzss::kEndMarkerBits + ShortestPathSimply(steps.data(), input.size());
}

ByteBuffer Text(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"the ",   "member ", "window ", "stream\n", "of ",
                                       "table ", "offset ", "{\n    ", "return ",  "0;\n"};
  std::mt19937 rng(seed);
  ByteBuffer out;
  while (out.size() < size)
    for (const char* c = kWords[rng() % std::size(kWords)]; *c != 0; ++c) out.push_back(*c);
  out.resize(size);
  return out;
}

// The pieces one after another, or the first repeated to size bytes.
ByteBuffer Concat(std::initializer_list<ByteBuffer> pieces, std::size_t size = 0) {
  ByteBuffer out;
  for (const ByteBuffer& piece : pieces) out.insert(out.end(), piece.begin(), piece.end());
  for (std::size_t i = out.size(); i < size; ++i) out.push_back(out[i % pieces.begin()->size()]);
  return out;
}
// Compresses in pieces of random sizes, parsing blocks on `threads` threads.
Coded CompressInPieces(const ByteBuffer& input, unsigned threads = 1) {
  LzssCompressor compressor(threads);
  Coded got{{0xEE}, 0};  // not emptied by Put
  for (std::size_t at = 0, size = 0; at < input.size(); at += size) {
    size = std::min(PieceSize(), input.size() - at);
    compressor.Put(input.data() + at, size, got.first);
  }
  got.second = compressor.Finish(got.first);
  got.first.erase(got.first.begin());
  return got;
}

// Within 0.2% of the shortest stream, the same on 1 or 3 threads in pieces,
// and the same on this thread, whose finder keeps the tables of the cases
// before, as on a thread of its own.
TEST(LzssCompress, ShortestStreamDecodesBackTheSameInPieces) {
  constexpr std::size_t kBlock = LzssCompressor::kBlockSize;
  const std::pair<const char*, ByteBuffer> cases[] = {
      {"empty", {}},
      {"one byte", {0x61}},
      {"a zero", {0x00}},
      {"run", ByteBuffer(10000, 0x61)},
      {"zeros", ByteBuffer(10000, 0x00)},
      {"zeros, then text", Concat({ByteBuffer(8500, 0), Text(1000, 1)})},
      {"period 8191", Concat({Random(kWindowSize - 1, 7)}, 17000)},
      {"period 8192", Concat({Random(kWindowSize, 8)}, 17000)},
      {"period 8193", Concat({Random(kWindowSize + 1, 9)}, 20000)},
      {"period 3", Concat({{1, 2, 3}}, 9000)},
      {"text", Text(10000, 2)},
      {"random", Random(9000, 3)},
      {"four letters", Random(10000, 5, 4)},
      {"text, random, text", Concat({Text(5000, 6), Random(2000, 6), Text(5000, 6)})},
      {"runs over blocks", Concat({ByteBuffer(kBlock - 9, 1), ByteBuffer(kBlock + 30, 2)})},
      {"period 17 over blocks", Concat({Random(17, 10)}, 2 * kBlock + 40)},
      {"period 18 over blocks", Concat({Random(18, 11)}, 2 * kBlock)},
      {"period 19, text", Concat({Concat({Random(19, 12)}, kBlock - 3), Text(9000, 13)})},
      {"text over blocks", Concat({Text(kBlock + 17, 14), Random(3000, 15), Text(kBlock, 16)})},
      {"a copy that ends at the block's end",
       Concat({Random(2000, 17), Random(kBlock - 4000, 18), Random(2000, 17), Text(3000, 19)})},
  };
  for (const auto& [name, input] : cases) {
    ByteBuffer stream{0xEE};  // replaced
    const std::uint32_t sum = LzssCompress(input, stream);
    const std::size_t optimal = (OptimalBits(input) + 7) / 8;
    EXPECT_LE(stream.size(), StoredStreamLength(input.size())) << name;
    EXPECT_LE(stream.size(), optimal + optimal / 500) << name << " against " << optimal;
    ByteBuffer back;
    EXPECT_EQ(LzssDecodeReference(stream, back), sum) << name;
    EXPECT_EQ(back, input) << name;
    EXPECT_EQ(CompressInPieces(input, 1), std::make_pair(stream, sum)) << name;
    EXPECT_EQ(CompressInPieces(input, 3), std::make_pair(stream, sum)) << name;
    Coded fresh;
    std::thread([&fresh, &data = input] { fresh.second = LzssCompress(data, fresh.first); }).join();
    EXPECT_EQ(fresh, std::make_pair(stream, sum)) << name;
  }
}

// Matches genuine, in the window, not from 0, all but a few the longest.
TEST(MatchFinder, MatchesAgainstEverySourceInTheWindow) {
  constexpr std::size_t kLength = 12000;
  constexpr std::size_t kLaterStart = ParseLayout::kBlockStart + ParseLayout::kBlockSize;
  ByteBuffer buffer(kLaterStart + kLength + ParseLayout::kPadding, 0);
  const ByteBuffer data =
      Concat({Text(3000, 21), Random(2000, 22, 4), ByteBuffer(300, 7), Random(1000, 23),
              Concat({Random(5, 24)}, 500), Text(kLength, 24)});
  for (std::size_t i = ParseLayout::kBlockStart; i < kLaterStart + kLength; ++i)
    buffer[i] = data[i % data.size()];
  MatchFinder finder;
  for (const bool first : {true, false}) {
    const std::size_t start = first ? ParseLayout::kBlockStart : kLaterStart;
    if (first) std::fill(buffer.begin() + start + kLength, buffer.end(), 0);
    const std::size_t end = start + kLength;
    finder.Reset(buffer.data(), 16,
                 static_cast<std::uint32_t>(first ? start - 19 : start - kWindowSize),
                 static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(end));
    const std::vector<std::uint8_t> best = LongestMatches(buffer, start, end);
    std::size_t shorter = 0;
    for (std::size_t i = 0; i < kLength && !HasFailure(); ++i) {
      const std::size_t at = start + i, most = std::min<std::size_t>(kMaxMatch, kLength - i);
      const std::size_t least = std::min<std::size_t>(kMinMatch + i % 16, most);
      const Match found = most < kMinMatch ? Match{} : finder.Find(at, least, most);
      finder.Advance(static_cast<std::uint32_t>(at));
      SCOPED_TRACE(i);
      if (found.length > 0) {
        EXPECT_TRUE(found.length >= least && found.length <= best[i]);
        EXPECT_TRUE(found.distance >= 1 && found.distance <= kWindowSize);
        EXPECT_NE((at - found.distance) % kWindowSize, 0u);
        EXPECT_EQ(Common(buffer, at, found.distance, found.length), found.length);
      }
      shorter += found.length < best[i] && best[i] >= least;
    }
    EXPECT_LE(shorter, kLength / 500) << (first ? "first block" : "later block");
  }
}

// Searches as the parse makes them, for the same last byte at several
// positions in a row: where MayFind says no, Find finds nothing that long
// either, nor anything where AnyThree says no; and a failed walk says
// nothing about the next block.
TEST(MatchFinder, SkipsOnlySearchesThatFail) {
  constexpr std::size_t kLength = 20000;
  constexpr std::uint32_t kStart = ParseLayout::kBlockStart;
  ByteBuffer buffer(kStart + kLength + ParseLayout::kPadding, 0);
  const ByteBuffer data =
      Concat({Text(6000, 31), Random(2000, 32, 3), Concat({Random(18, 33)}, 3000),
              Concat({Random(7, 34)}, 1000), Text(kLength, 35)});
  std::copy(data.begin(), data.begin() + kLength, buffer.begin() + kStart);
  MatchFinder finder;
  finder.Reset(buffer.data(), 16, kStart - 19, kStart, kStart + kLength);
  std::size_t skipped = 0;
  for (std::uint32_t i = 0; i + kMaxMatch <= kLength && !HasFailure(); ++i) {
    // The last byte wanted stays for 12 positions, as where the parse
    // passes offsets that no reference reaches.
    const std::uint32_t at = kStart + i, end = (at + 17) / 12 * 12;
    const std::uint32_t want = std::clamp<std::uint32_t>(end - at + 1, 4, kMaxMatch);
    const bool may = finder.MayFind(at, want);
    const Match found = finder.Find(at, want, kMaxMatch);
    if (!finder.AnyThree(at)) {
      ++skipped;
      EXPECT_EQ(finder.Find(at, kMinMatch, kMaxMatch).length, 0u) << i;
    }
    finder.Advance(at);
    if (!may) {
      ++skipped;
      EXPECT_LT(found.length, want) << i;
    }
  }
  EXPECT_GT(skipped, kLength / 4);

  // A walk that failed in one block says nothing of the next one at the
  // same positions: here the 8 bytes at `at` are new in random bytes, then
  // a copy of bytes 1000 back.
  const std::uint32_t at = kStart + 1000;
  const auto restart = [&](const ByteBuffer& bytes) {
    std::fill(buffer.begin(), buffer.end(), 0);
    std::copy(bytes.begin(), bytes.end(), buffer.begin() + kStart);
    finder.Reset(buffer.data(), 16, kStart - 19, kStart, kStart + kLength);
    for (std::uint32_t p = kStart; p < at; ++p) finder.Advance(p);
  };
  restart(Random(2000, 36));
  EXPECT_EQ(finder.Find(at, 8, 8).length, 0u);
  EXPECT_FALSE(finder.MayFind(at, 8));
  restart(Concat({Random(1000, 37)}, 1100));
  EXPECT_TRUE(finder.MayFind(at, 8));
  EXPECT_EQ(finder.Find(at, 8, 8).length, 8u);
}

}  // namespace
}  // namespace qev
