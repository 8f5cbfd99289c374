#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <random>
#include <set>

#include "archive_bytes.h"
#include "harness.h"

namespace qev::e2e {
namespace {

namespace fs = std::filesystem;

// Every damaged archive is listed and extracted from the subdirectory
// work: whatever it says, qev ends normally, and nothing but the archive
// and work itself stands in the test's directory afterwards.
class Damage : public E2eTest {
 protected:
  void ListAndExtract(const std::string& bytes, const std::string& what) {
    SCOPED_TRACE(what);
    WriteFile("damaged", bytes);
    fs::remove_all("work");
    MakeDir("work");
    fs::current_path("work");
    for (const std::string command : {"l", "x"}) {
      const RunResult run = Qev({command, "../damaged"});
      EXPECT_EQ(run.status, 0) << command;
      EXPECT_TRUE(run.out.starts_with("command: " + command)) << command;
    }
    fs::current_path("..");
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(".")) names.insert(entry.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"damaged", "work"}));
  }

  static std::vector<std::string> Samples() {
    const Member mid{"mid", Bytes({0xB0, 0xD8, 0x80, 0x01, 0x20, 0x00, 0x00}), 7};
    const std::vector<Member> members = {Stored("a", "abc", 132500000000000000), mid,
                                         Stored("b", "xyz")};
    return {Format3Archive(members), Format4Archive(members)};
  }
};

TEST_F(Damage, TruncatedAnywhere) {
  for (const std::string& archive : Samples()) {
    for (std::size_t length = 0; length < archive.size(); ++length) {
      ListAndExtract(archive.substr(0, length),
                     archive.substr(0, 4) + " cut to " + std::to_string(length));
    }
  }
}

TEST_F(Damage, BytesChangedAtRandom) {
  const char* given = std::getenv("QEV_DAMAGE_SEED");  // replays a run
  const unsigned seed = given != nullptr ? static_cast<unsigned>(std::strtoul(given, nullptr, 10))
                                         : std::random_device()();
  std::cout << "damage seed: " << seed << "\n";
  std::mt19937 random(seed);
  for (const std::string& archive : Samples()) {
    for (int round = 0; round < 20; ++round) {
      std::string damaged = archive;
      for (int changes = 1 + random() % 3; changes > 0; --changes) {
        damaged[random() % damaged.size()] ^= static_cast<char>(1 + random() % 255);
      }
      ListAndExtract(damaged, "seed " + std::to_string(seed) + " round " + std::to_string(round));
    }
  }
}

}  // namespace
}  // namespace qev::e2e
