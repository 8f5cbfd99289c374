#include "coding/lzss_compress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <utility>

#include "coding/lzss.h"
#include "coding/lzss_reference.h"

namespace qev {
namespace {

// The shortest stream in bits, found the slow way: at every output
// position, every window position 1..8191 is tried as a reference, copied
// byte by byte through a model of the window; then a shortest path over
// the positions.
std::size_t OptimalBits(const ByteBuffer& input) {
  const std::size_t n = input.size();
  std::array<std::uint8_t, 8192> window{};
  std::vector<std::uint32_t> longest(n, 0);
  std::uint32_t w = 1;
  for (std::size_t at = 0; at < n; ++at) {
    const std::size_t most = std::min<std::size_t>(18, n - at);
    for (std::uint32_t p = 1; p < 8192; ++p) {
      std::uint8_t copied[18];
      std::uint32_t length = 0;
      while (length < most) {
        const std::uint32_t source = (p + length) & 0x1FFF;
        // A source this reference has written already holds its new byte.
        const std::uint32_t ahead = (source - w) & 0x1FFF;
        const std::uint8_t b = ahead < length ? copied[ahead] : window[source];
        if (b != input[at + length]) break;
        copied[length++] = b;
      }
      longest[at] = std::max(longest[at], length);
    }
    window[w] = input[at];
    w = (w + 1) & 0x1FFF;
  }
  std::vector<std::size_t> cost(n + 1, 0);
  for (std::size_t at = n; at-- > 0;) {
    cost[at] = cost[at + 1] + 9;
    for (std::uint32_t k = 3; k <= longest[at]; ++k) {
      cost[at] = std::min(cost[at], cost[at + k] + 18);
    }
  }
  return cost[0] + 14;
}

ByteBuffer Repeat(const ByteBuffer& pattern, std::size_t size) {
  ByteBuffer out(size);
  for (std::size_t i = 0; i < size; ++i) out[i] = pattern[i % pattern.size()];
  return out;
}

ByteBuffer Random(std::size_t size, std::uint32_t seed, unsigned alphabet = 256) {
  std::mt19937 rng(seed);
  ByteBuffer out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng() % alphabet);
  return out;
}

ByteBuffer Text(std::size_t size, std::uint32_t seed) {
  static const char* const kWords[] = {"the ",   "member ", "window ", "stream\n", "of ",
                                       "table ", "offset ", "{\n    ", "return ",  "0;\n"};
  std::mt19937 rng(seed);
  ByteBuffer out;
  while (out.size() < size) {
    const std::string word = kWords[rng() % std::size(kWords)];
    out.insert(out.end(), word.begin(), word.end());
  }
  out.resize(size);
  return out;
}

ByteBuffer Concat(ByteBuffer a, const ByteBuffer& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Compresses in pieces of random sizes (1 byte among them).
std::pair<ByteBuffer, std::uint32_t> CompressInPieces(const ByteBuffer& input, std::uint32_t seed) {
  std::mt19937 rng(seed);
  LzssCompressor compressor;
  ByteBuffer out{0xEE};  // not emptied by Put
  for (std::size_t at = 0; at < input.size();) {
    const std::size_t piece =
        std::min<std::size_t>(input.size() - at, rng() % 3 == 0 ? 1 : rng() % 70000);
    compressor.Put(input.data() + at, piece, out);
    at += piece;
  }
  const std::uint32_t sum = compressor.Finish(out);
  return {ByteBuffer(out.begin() + 1, out.end()), sum};
}

TEST(LzssCompress, ShortestStreamDecodesBack) {
  const ByteBuffer period8191 = Random(8191, 7);
  const ByteBuffer period8192 = Random(8192, 8);
  const std::pair<const char*, ByteBuffer> cases[] = {
      {"empty", {}},
      {"one byte", {0x61}},
      {"a zero", {0x00}},
      {"run", ByteBuffer(10000, 0x61)},
      {"zeros", ByteBuffer(10000, 0x00)},
      {"zeros, then text", Concat(ByteBuffer(8500, 0), Text(1000, 1))},
      {"period 8191", Repeat(period8191, 17000)},
      {"period 8192", Repeat(period8192, 17000)},
      {"period 3", Repeat({1, 2, 3}, 9000)},
      {"text", Text(10000, 2)},
      {"random", Random(9000, 3)},
      {"two letters", Random(10000, 4, 2)},
      {"four letters", Random(10000, 5, 4)},
      {"text, random, text", Concat(Concat(Text(5000, 6), Random(2000, 6)), Text(5000, 6))},
  };
  for (const auto& [name, input] : cases) {
    ByteBuffer stream{0xEE};
    const std::uint32_t sum = LzssCompress(input, stream);
    EXPECT_LE(stream.size(), (9 * input.size() + 14 + 7) / 8) << name;
    const std::size_t optimal = (OptimalBits(input) + 7) / 8;
    EXPECT_LE(stream.size(), optimal + optimal / 200) << name;
    ByteBuffer back;
    EXPECT_EQ(LzssDecodeReference(stream, back), sum) << name;
    EXPECT_EQ(back, input) << name;
    EXPECT_EQ(CompressInPieces(input, 9), std::make_pair(stream, sum)) << name;
  }
}

TEST(LzssCompress, BlocksAndPiecesGiveTheSameStream) {
  // Several blocks, whose matches reach back across block boundaries.
  const ByteBuffer input = Concat(Concat(Text(300000, 11), Random(200000, 12)), Text(400000, 13));
  ByteBuffer stream;
  const std::uint32_t sum = LzssCompress(input, stream);
  EXPECT_LT(stream.size(), input.size() / 2);
  ByteBuffer back;
  EXPECT_EQ(LzssDecode(stream, back), sum);
  EXPECT_EQ(back, input);
  EXPECT_EQ(CompressInPieces(input, 14), std::make_pair(stream, sum));
}

}  // namespace
}  // namespace qev
