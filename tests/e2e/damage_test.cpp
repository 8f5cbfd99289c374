#include <cstdlib>
#include <iostream>
#include <random>

#include "harness.h"

namespace qev::e2e {
namespace {

using Damage = E2eTest;

// Every damaged archive is listed and extracted from the subdirectory work:
// whatever it says, qev ends normally, and nothing but the archive and work
// stands in the test's directory afterwards.
TEST_F(Damage, TruncatedAnywhereOrChangedAtRandom) {
  const char* given = std::getenv("QEV_DAMAGE_SEED");  // replays a run
  const unsigned seed = given != nullptr ? std::stoul(given) : std::random_device()();
  std::cout << "damage seed: " << seed << "\n";
  std::mt19937 random(seed);
  for (const int format : {3, 4}) {
    const std::string archive = Archive(format, SampleMembers(132500000000000000));
    for (std::size_t round = 0; round < archive.size() + 20; ++round) {
      SCOPED_TRACE("format " + std::to_string(format) + " round " + std::to_string(round));
      std::string damaged = archive.substr(0, round);
      // Past the truncations, one to three bytes of the whole are changed.
      for (int n = 1 + random() % 3; round >= archive.size() && n > 0; --n) {
        damaged[random() % damaged.size()] ^= static_cast<char>(1 + random() % 255);
      }
      WriteFile("damaged", damaged);
      fs::create_directory("work");
      fs::current_path("work");
      EXPECT_TRUE(Qev({"l", "../damaged"}).starts_with(Echo("l", "../damaged")));
      EXPECT_TRUE(Qev({"x", "../damaged"}).starts_with(Echo("x", "../damaged")));
      EXPECT_TRUE(Qev({"t", "../damaged"}).starts_with(Echo("t", "../damaged")));
      fs::current_path("..");
      EXPECT_EQ(Listing(), Names({"damaged", "work"}));
      fs::remove_all("work");
    }
  }
}

}  // namespace
}  // namespace qev::e2e
