#include "ops/passing_streams.h"

#include <gtest/gtest.h>

#include <random>

#include "coding/lzss_compress.h"
#include "coding/lzss_store.h"

namespace qev {
namespace {

// Streams in pieces: each found with its decoded length and checksum.
TEST(PassingStreams, FindsStreamsBackToBackWhateverThePieces) {
  std::mt19937 rng(27);
  constexpr std::uint32_t kFirst = 16;
  ByteBuffer region;
  std::vector<std::size_t> starts;
  for (int i = 0; i < 80; ++i) {
    ByteBuffer plain(rng() % 600), stream;
    for (auto& b : plain) b = static_cast<std::uint8_t>('a' + rng() % (1 + i % 5));
    (i % 2 == 0 ? LzssStore : LzssCompress)(plain, stream);
    starts.push_back(region.size());
    region.insert(region.end(), stream.begin(), stream.end());
  }
  region.resize(region.size() - 2);
  for (int round = 0; round < 20; ++round) {
    PassingStreams walk(false);
    walk.Begin(kFirst, kFirst + static_cast<std::uint32_t>(region.size()), 80);
    for (std::size_t at = 0, n; at < region.size(); at += n) {
      n = std::min<std::size_t>(1 + rng() % 300, region.size() - at);
      walk.Take(region.data() + at, n);
    }
    walk.End();
    for (std::size_t i = 0; i < starts.size(); ++i) {
      const auto end = i + 1 < starts.size() ? region.begin() + starts[i + 1] : region.end();
      ByteBuffer out;
      const std::uint32_t sum = LzssDecode(ByteBuffer(region.begin() + starts[i], end), out);
      const WrittenMember member =
          walk.Member(kFirst + static_cast<std::uint32_t>(starts[i]), "m", false, nullptr);
      ASSERT_EQ(member.stream.ending.Bytes(), end - region.begin() - starts[i]) << i;
      ASSERT_EQ(member.decoded, out.size()) << i;
      ASSERT_EQ(member.stream.checksum, sum) << i;
    }
  }
  // More streams than the header's count: the walk gives up on all.
  for (const std::uint32_t count : {80u, 79u}) {
    PassingStreams walk(false);
    walk.Begin(kFirst, kFirst + static_cast<std::uint32_t>(region.size()), count);
    walk.Take(region.data(), region.size());
    walk.End();
    EXPECT_EQ(walk.Serves(ArchiveIndex(), nullptr), count == 80);
  }
}

}  // namespace
}  // namespace qev
