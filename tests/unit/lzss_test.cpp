#include "coding/lzss.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "coding/bit_stream.h"
#include "coding/lzss_reference.h"

namespace qev {
namespace {

// Builds streams token by token.
struct StreamBuilder {
  ByteBuffer bytes;
  BitWriter writer;
  StreamBuilder() { writer.Reset(bytes); }
  StreamBuilder& Literal(std::uint8_t b) {
    writer.WriteBits(1, 1);
    writer.WriteBits(8, b);
    return *this;
  }
  StreamBuilder& Reference(std::uint32_t p, std::uint32_t l) {
    writer.WriteBits(1, 0);
    writer.WriteBits(13, p);
    writer.WriteBits(4, l);
    return *this;
  }
  ByteBuffer End() {
    writer.WriteBits(14, 0);
    return bytes;
  }
};

struct Decoded {
  ByteBuffer output;
  std::uint32_t checksum;
};

// Decodes with both codecs, checks that they agree and returns the result.
Decoded DecodeBoth(const ByteBuffer& stream) {
  Decoded fast;
  fast.checksum = LzssDecode(stream, fast.output);
  ByteBuffer expected;
  const std::uint32_t expectedSum = LzssDecodeReference(stream, expected);
  EXPECT_EQ(fast.output, expected);
  EXPECT_EQ(fast.checksum, expectedSum);
  return fast;
}

// Encodes with both codecs, checks that they agree and returns the result.
Decoded StoreBoth(const ByteBuffer& input) {
  Decoded fast;
  fast.checksum = LzssStore(input, fast.output);
  ByteBuffer expected;
  const std::uint32_t expectedSum = LzssStoreReference(input, expected);
  EXPECT_EQ(fast.output, expected);
  EXPECT_EQ(fast.checksum, expectedSum);
  return fast;
}

std::uint32_t Sum(const ByteBuffer& bytes) {
  std::uint32_t sum = 0;
  for (const std::uint8_t b : bytes) sum += b;
  return sum;
}

TEST(Lzss, WorkedExamples) {
  const ByteBuffer abc = {0x61, 0x62, 0x63};
  const Decoded empty = StoreBoth({});
  EXPECT_EQ(empty.output, (ByteBuffer{0x00, 0x00}));
  EXPECT_EQ(empty.checksum, 0u);
  EXPECT_TRUE(DecodeBoth(empty.output).output.empty());

  const Decoded stored = StoreBoth(abc);
  EXPECT_EQ(stored.output, (ByteBuffer{0xB0, 0xD8, 0xAC, 0x60, 0x00, 0x00}));
  EXPECT_EQ(stored.checksum, 660u);
  const Decoded back = DecodeBoth(stored.output);
  EXPECT_EQ(back.output, abc);
  EXPECT_EQ(back.checksum, 660u);

  const Decoded single = StoreBoth({0x61});
  EXPECT_EQ(single.output, (ByteBuffer{0xB0, 0x80, 0x00}));
  EXPECT_EQ(single.checksum, 304u);

  const ByteBuffer overlap = {0xB0, 0xD8, 0x80, 0x01, 0x20, 0x00, 0x00};
  EXPECT_EQ(StreamBuilder().Literal(0x61).Literal(0x62).Reference(1, 2).End(), overlap);
  const Decoded ababa = DecodeBoth(overlap);
  EXPECT_EQ(ababa.output, (ByteBuffer{0x61, 0x62, 0x61, 0x62, 0x61, 0x62, 0x61}));
  EXPECT_EQ(ababa.checksum, 553u);
}

TEST(Lzss, StoreLengthsAndRoundTrip) {
  std::mt19937 rng(7);
  for (std::size_t n = 0; n <= 300; ++n) {
    ByteBuffer input(n);
    for (auto& b : input) b = static_cast<std::uint8_t>(rng());
    const Decoded stored = StoreBoth(input);
    ASSERT_EQ(stored.output.size(), (9 * n + 14 + 7) / 8) << n;
    EXPECT_EQ(stored.output.back(), 0) << n;
    EXPECT_EQ(stored.checksum, Sum(stored.output)) << n;
    const Decoded back = DecodeBoth(stored.output);
    EXPECT_EQ(back.output, input) << n;
    EXPECT_EQ(back.checksum, stored.checksum) << n;
  }
}

TEST(Lzss, CodecsEmptyTheOutputAndKeepReservedCapacity) {
  ByteBuffer output = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  output.reserve(1000);
  LzssDecode({0xB0, 0x80, 0x00}, output);
  EXPECT_EQ(output, ByteBuffer{0x61});
  EXPECT_GE(output.capacity(), 1000u);
  LzssStore({}, output);
  EXPECT_EQ(output, (ByteBuffer{0x00, 0x00}));
  EXPECT_GE(output.capacity(), 1000u);
}

TEST(Lzss, DecodeIntoAnExactReservationNeverReallocates) {
  std::mt19937 rng(11);
  ByteBuffer plain(70000);
  for (auto& b : plain) b = static_cast<std::uint8_t>(rng());
  ByteBuffer literals;
  LzssStore(plain, literals);
  // One stream ending in a literal run, one ending in a long reference.
  const ByteBuffer streams[] = {literals, StreamBuilder().Literal(1).Reference(1, 15).End()};
  for (const ByteBuffer& stream : streams) {
    const std::size_t size = DecodeBoth(stream).output.size();
    ByteBuffer output;
    output.reserve(size);
    const std::uint8_t* const data = output.data();
    LzssDecode(stream, output);
    EXPECT_EQ(output.size(), size);
    EXPECT_EQ(output.data(), data);
    EXPECT_EQ(output.capacity(), size);
  }
}

TEST(Lzss, WindowStartsZeroWithAbsolutePositionsThatWrap) {
  // Before any literal the window is all zero.
  EXPECT_EQ(DecodeBoth(StreamBuilder().Reference(100, 0).End()).output, ByteBuffer(3, 0));

  // p = 8191 reads positions 8191, 0, 1, 2, 3: zero, zero, the first literal
  // (stored at position 1), then the two zeros this reference just stored.
  EXPECT_EQ(DecodeBoth(StreamBuilder().Literal(0x41).Reference(8191, 2).End()).output,
            (ByteBuffer{0x41, 0, 0, 0x41, 0, 0}));

  // Fill the whole window once: output byte j sits at position (j + 1) mod
  // 8192. A reference to the write position then reaches 8192 bytes back.
  StreamBuilder long_stream;
  ByteBuffer expected;
  for (int j = 0; j < 8192 + 5; ++j) {
    const auto b = static_cast<std::uint8_t>(j * 7 + j / 256);
    long_stream.Literal(b);
    expected.push_back(b);
  }
  // Written 8197 bytes: w = 8198 mod 8192 = 6.
  long_stream.Reference(6, 15);
  for (int i = 0; i < 18; ++i) expected.push_back(expected[expected.size() - 8192]);
  // A reference straddling 8191 -> 0 -> 1.
  long_stream.Reference(8190, 4);
  for (int i = 0; i < 7; ++i) {
    expected.push_back(expected[expected.size() - ((expected.size() + 1 - 8190 - i) & 0x1FFF)]);
  }
  EXPECT_EQ(DecodeBoth(long_stream.End()).output, expected);

  // Before the window is full, a reference to the write position yields
  // zeros and stores them back unchanged.
  EXPECT_EQ(DecodeBoth(StreamBuilder().Literal(1).Literal(2).Reference(3, 0).Reference(1, 3).End())
                .output,
            (ByteBuffer{1, 2, 0, 0, 0, 1, 2, 0, 0, 0, 1}));
}

TEST(Lzss, TruncatedStreamsEndAfterOneZeroFilledToken) {
  const ByteBuffer abc = {0xB0, 0xD8, 0xAC, 0x60, 0x00, 0x00};
  const Decoded first = DecodeBoth(ByteBuffer(abc.begin(), abc.begin() + 1));
  EXPECT_EQ(first.output, ByteBuffer{0x60});
  EXPECT_EQ(first.checksum, 176u);
  const Decoded four = DecodeBoth(ByteBuffer(abc.begin(), abc.begin() + 4));
  EXPECT_EQ(four.output, (ByteBuffer{0x61, 0x62, 0x63}));
  EXPECT_EQ(four.checksum, 660u);
  // A reference cut inside its length field (1111 cut to 1) reads L = 8.
  const ByteBuffer ref = StreamBuilder().Literal(0x61).Reference(1, 15).End();
  EXPECT_EQ(DecodeBoth(ByteBuffer(ref.begin(), ref.begin() + 3)).output, ByteBuffer(12, 0x61));
  // A reference cut after its flag and 8 position bits, ending 9 bits past
  // the input's 4095 bytes: the checksum still covers only those bytes.
  StreamBuilder cut;
  for (int i = 0; i < 3639; ++i) cut.Literal(0x5A);
  const ByteBuffer long_ref = cut.Reference(1 << 12, 0).End();
  DecodeBoth(ByteBuffer(long_ref.begin(), long_ref.begin() + 4095));
}

TEST(Lzss, BytesAfterTheEndMarkerAreNeverRead) {
  const ByteBuffer stream = {0xB0, 0xD8, 0xAC, 0x60, 0x00, 0x00, 0xFF, 0x12, 0x34};
  const Decoded decoded = DecodeBoth(stream);
  EXPECT_EQ(decoded.output, (ByteBuffer{0x61, 0x62, 0x63}));
  EXPECT_EQ(decoded.checksum, 660u);
}

// A random stream: runs of literals and references anywhere in the window,
// many of them close behind the write position so that they overlap.
ByteBuffer RandomStream(std::mt19937& rng, int tokens) {
  StreamBuilder stream;
  std::uint32_t w = 1;
  for (int t = 0; t < tokens; ++t) {
    switch (rng() % 4) {
      case 0:
      case 1: {
        // Long runs reach the decoder's paths for many literals at once, at
        // every bit offset.
        const int run = static_cast<int>(rng() % 8 == 0 ? rng() % 64 : rng() % 20);
        for (int i = 0; i < run; ++i, w = (w + 1) & 0x1FFF) {
          stream.Literal(static_cast<std::uint8_t>(rng()));
        }
        break;
      }
      case 2: {
        const std::uint32_t p = rng() % 8191 + 1;
        const std::uint32_t l = rng() % 16;
        stream.Reference(p, l);
        w = (w + l + 3) & 0x1FFF;
        break;
      }
      default: {
        std::uint32_t p = (w - rng() % 24) & 0x1FFF;
        if (p == 0) p = 8191;
        const std::uint32_t l = rng() % 16;
        stream.Reference(p, l);
        w = (w + l + 3) & 0x1FFF;
        break;
      }
    }
  }
  return stream.End();
}

std::uint32_t TestSeed() { return std::random_device{}(); }

TEST(Lzss, FastDecodeMatchesReferenceOnRandomStreams) {
  const std::uint32_t seed = TestSeed();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 rng(seed);

  // Long enough to wrap the window several times.
  for (int round = 0; round < 4; ++round) {
    ByteBuffer stream = RandomStream(rng, 6000);
    const Decoded whole = DecodeBoth(stream);
    EXPECT_EQ(whole.checksum, Sum(stream));
    // Garbage after the end marker changes nothing.
    for (int i = 0; i < 40; ++i) stream.push_back(static_cast<std::uint8_t>(rng()));
    const Decoded padded = DecodeBoth(stream);
    EXPECT_EQ(padded.output, whole.output);
    EXPECT_EQ(padded.checksum, whole.checksum);
    if (HasFailure()) return;
  }

  // Truncation at every length.
  const ByteBuffer stream = RandomStream(rng, 300);
  for (std::size_t length = 0; length <= stream.size(); ++length) {
    DecodeBoth(ByteBuffer(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(length)));
    if (HasFailure()) {
      ADD_FAILURE() << "truncated to " << length;
      return;
    }
  }

  // Plain noise is a stream too.
  for (int round = 0; round < 200; ++round) {
    ByteBuffer noise(rng() % 3000);
    for (auto& b : noise) b = static_cast<std::uint8_t>(rng() % 4 ? rng() : 0xFF);
    DecodeBoth(noise);
    if (HasFailure()) return;
  }
}

}  // namespace
}  // namespace qev
