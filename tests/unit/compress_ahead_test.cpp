#include "ops/compress_ahead.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "coding/lzss_compress.h"

namespace qev {
namespace {

namespace fs = std::filesystem;

// Members compressed ahead come in order; missing or too large ones do not.
TEST(CompressAhead, ThreadsHandMembersOverInOrder) {
  std::mt19937 rng(20);  // fixed, so that a failure repeats
  fs::path dir;          // the first name free
  for (int i = 0;
       !fs::create_directory(dir = fs::temp_directory_path() / ("qev-ahead-" + std::to_string(i)));)
    ++i;
  NameList names;
  std::vector<ByteBuffer> contents;
  for (int i = 0; i < 200; ++i) {
    ByteBuffer content(i == 7 ? CompressAhead::kMaxWhole + 1 : rng() % 5000);
    for (auto& b : content) b = static_cast<std::uint8_t>('a' + rng() % (1 + i % 20));
    const std::string path = (dir / std::to_string(i)).string();
    if (i != 9)
      std::ofstream(path, std::ios::binary) << std::string(content.begin(), content.end());
    names.push_back(path);
    contents.push_back(std::move(content));
  }
  {
    CompressAhead ahead(names, 3);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const PreparedMember member = ahead.Take(i);
      EXPECT_FALSE(member.ready && (i == 7 || i == 9)) << i;
      if (!member.ready) continue;
      ByteBuffer stream;
      const std::uint32_t sum = LzssCompress(contents[i], stream);
      EXPECT_TRUE(member.size == contents[i].size() && member.stream == stream &&
                  member.checksum == sum)
          << i;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace qev
