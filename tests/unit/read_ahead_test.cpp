#include "io/read_ahead.h"

#include <gtest/gtest.h>

#include <random>

namespace qev {
namespace {

// Pieces of kPiece bytes up to the limit or the input's end, then empty
// ones; the input goes on at the limit; with a thread or without.
TEST(ReadAhead, GivesThePiecesUpToTheLimit) {
  constexpr std::uint32_t kPiece = ReadAhead::kPiece;
  std::mt19937 rng(27);
  ByteBuffer bytes(5 * kPiece + 1000);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  FileHandle file;
  ASSERT_TRUE(file.CreateScratch() && file.WriteAll(bytes));
  for (const bool threaded : {true, false}) {
    for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{3} * kPiece,
                                      bytes.size() - 510, std::uint64_t{1} << 40}) {
      SCOPED_TRACE(std::to_string(threaded) + " " + std::to_string(limit));
      ASSERT_TRUE(file.SeekTo(10));
      ByteBuffer got;
      {
        ReadAhead ahead(file, limit, 10 + 64 * 1000, threaded);
        std::uint32_t size = kPiece;
        while (size == kPiece) {
          const std::uint8_t* piece = ahead.Next(&size);
          EXPECT_EQ(reinterpret_cast<std::uintptr_t>(piece) % 64, 10u);
          got.insert(got.end(), piece, piece + size);
        }
        ahead.Next(&size);
        EXPECT_EQ(size, 0u);
      }
      const std::size_t end = std::min<std::uint64_t>(10 + limit, bytes.size());
      EXPECT_TRUE(got == ByteBuffer(bytes.begin() + 10, bytes.begin() + end));
      std::uint8_t next = 0;
      EXPECT_EQ(file.ReadNext(&next, 1) == 1 ? int{next} : -1,
                end < bytes.size() ? int{bytes[end]} : -1);
    }
  }
}

}  // namespace
}  // namespace qev
