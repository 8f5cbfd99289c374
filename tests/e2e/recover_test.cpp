#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "harness.h"

namespace qev::e2e {
namespace {

// Where each member's stream of a whole archive ends, the last at the table.
std::vector<std::size_t> Ends(const std::string& archive) {
  const Parsed p = Parse(archive);
  std::vector<std::size_t> ends;
  for (std::size_t i = 1; i < p.members.size(); ++i) ends.push_back(p.members[i].offset);
  ends.push_back(p.tableOffset);
  return ends;
}

// Empty, one byte, a text and noise.
std::vector<std::pair<std::string, std::string>> Members() {
  return {{"empty", ""}, {"one", "1"}, {"text", Text(90000, 21)}, {"noise", Noise(20000, 21)}};
}

constexpr std::uint64_t kTime = 132600000000000000;

class Recover : public E2eTest {
 protected:
  // The members written, each stamped kTime + its size, and archived.
  void Make(const std::string& command, const std::string& path, const std::string& limit = "") {
    for (const auto& [name, content] : Members()) {
      WriteFile(name, content);
      SetModTime(name, kTime + content.size());
    }
    Qev({command, path, "empty", "one", "text", "noise"}, limit);
  }

  static void RemoveAllBut(const std::string& keep) {
    for (const std::string& name : Listing())
      if (name != keep) fs::remove(name);
  }

  // r of the archive cut after `cut` bytes, which stays as it was.
  void CheckCut(const std::string& archive, int format, const std::vector<std::size_t>& ends,
                std::size_t cut) {
    const auto members = Members();
    const std::size_t first = format == 3 ? 13 : 16, table = ends[members.size() - 1];
    RemoveAllBut("");
    const std::string bytes = archive.substr(0, cut);
    WriteFile("a.qev", bytes);
    const std::string out = Qev({"r", "a.qev"});
    EXPECT_EQ(ReadFile("a.qev"), bytes);
    if (cut < 4) {
      EXPECT_EQ(out, Echo("r", "a.qev") + "layout: none\n") << cut;
      return;
    }
    const std::string layout = "layout: QEV" + std::to_string(format) + " from its magic, table ";
    // The table's last byte may hold only the end marker's zero bits.
    const bool named = out.find(layout + "missing\n") == std::string::npos;
    if (cut == archive.size()) {
      EXPECT_NE(out.find(layout + "whole\n"), std::string::npos) << out;
    } else if (cut <= table) {
      EXPECT_FALSE(named) << cut << out;
    }
    std::size_t written = 0;
    for (std::size_t i = 0; i < members.size() && cut > (i == 0 ? first : ends[i - 1]); ++i) {
      ++written;
      const auto& [name, content] = members[i];
      const std::string recovered = "recovered-" + std::to_string(i + 1);
      const bool hasName = fs::exists(name);
      EXPECT_NE(hasName, fs::exists(recovered)) << cut << " " << name;
      const std::string got = ReadFile(hasName ? name : recovered);
      if (ends[i] <= cut) {
        EXPECT_EQ(got, content) << cut << " " << name;
        EXPECT_NE(out.find((hasName ? name : recovered) + " ...OK\n"), std::string::npos) << cut;
        EXPECT_TRUE(!hasName || named) << cut;
      } else {
        // The last token may be completed by zero bits: up to 18 bytes.
        EXPECT_LE(got.size(), content.size() + 18) << cut;
        const std::size_t sure = got.size() > 18 ? got.size() - 18 : 0;
        EXPECT_EQ(got.substr(0, sure), content.substr(0, sure)) << cut;
        EXPECT_NE(out.find(recovered + " ...cut short\n"), std::string::npos) << cut;
      }
    }
    EXPECT_EQ(Listing().size(), written + 1) << cut << out;
  }
};

// Whole, magicless and headerless archives give every member, as x selects;
// cut near every stream's end, in header and table, and at a sample.
TEST_F(Recover, WholeHeaderlessAndCutArchives) {
  for (const std::string command : {"c3", "c4", "z3", "z4"}) {
    const int format = command[1] - '0';
    Make(command, "a.qev");
    const std::string archive = ReadFile("a.qev");
    const std::vector<std::size_t> ends = Ends(archive);
    ASSERT_EQ(ends.size(), 4u);
    std::string magicless = archive, blank = archive;
    magicless[1] = 'X';
    std::fill_n(blank.begin(), format == 3 ? 13 : 16, '\0');
    const std::string lines =
        "empty ...OK\none ...OK\ntext ...OK\nnoise ...OK\ntotal: 4 files 110,001 Bytes\n";
    const std::string layout = "layout: QEV" + std::to_string(format) + " from ";
    for (const auto& [bytes, clue] :
         {std::pair{archive, "its magic"}, {magicless, "its table"}, {blank, "its table"}}) {
      RemoveAllBut("");
      WriteFile("a.qev", bytes);
      EXPECT_EQ(Qev({"R", "a.qev"}),
                Echo("R", "a.qev") + layout + clue + ", table whole\n" + lines);
      for (const auto& [name, content] : Members()) {
        EXPECT_EQ(ReadFile(name), content);
        EXPECT_EQ(ModTime(name) == kTime + content.size(), format == 3) << name;
      }
      EXPECT_EQ(ReadFile("a.qev"), bytes);
    }
    RemoveAllBut("");
    WriteFile("a.qev", archive.substr(0, ends[2] - 1));  // the cut falls in text
    const std::string out = Qev({"r", "a.qev", "RECOVERED-2", "recovered-3"});
    EXPECT_EQ(out.substr(0, out.find("total")), Echo("r", "a.qev") + layout +
                                                    "its magic, table missing\nrecovered-2 ...OK\n"
                                                    "recovered-3 ...cut short\n");
    EXPECT_EQ(Listing(), Names({"a.qev", "recovered-2", "recovered-3"}));
    for (std::size_t cut = 0; cut <= archive.size(); ++cut) {
      const bool nearEnd = std::any_of(ends.begin(), ends.end(), [&](std::size_t end) {
        return cut + 3 >= end && cut <= end + 2;
      });
      if (cut % 401 == 0 || cut < 24 || nearEnd || (cut >= ends[3] && (cut - ends[3]) % 3 == 0))
        CheckCut(archive, format, ends, cut);
    }
    RemoveAllBut("");
  }
}

// Creations stopped by a size limit and damaged tables: what can come back.
TEST_F(Recover, UnfinishedAndDamaged) {
  const auto members = Members();
  for (const std::string command : {"z3", "z4", "c3", "c4"}) {
    const int format = command[1] - '0';
    Make(command, "d.qev");
    std::string damaged = ReadFile("d.qev");
    const std::vector<std::size_t> ends = Ends(damaged);
    for (const std::string limit : {"-f 1", "-f 24", "-f 100", "-f 180"}) {
      Make(command, "u.qev", limit);
      if (!fs::exists("u.qev")) continue;
      const std::string bytes = ReadFile("u.qev");
      if (bytes.starts_with("QEV")) continue;  // the limit let creation finish
      RemoveAllBut("u.qev");
      const std::string out = Qev({"r", "u.qev"});
      EXPECT_NE(out.find("layout: QEV" + std::to_string(format) +
                         " from a blank header, table missing\n"),
                std::string::npos)
          << command << limit << out;
      for (std::size_t i = 0; i < members.size() && ends[i] <= bytes.size(); ++i) {
        EXPECT_EQ(ReadFile("recovered-" + std::to_string(i + 1)), members[i].second)
            << command << limit;
      }
      EXPECT_EQ(ReadFile("u.qev"), bytes);
    }
    // The table overwritten by noise from its second byte on.
    std::mt19937 random(format);
    for (std::size_t i = ends[3] + 1; i < damaged.size(); ++i)
      damaged[i] = static_cast<char>(random());
    RemoveAllBut("");
    WriteFile("d.qev", damaged);
    Qev({"r", "d.qev"});
    for (const auto& [name, content] : members) {
      bool found = false;
      for (const std::string& file : Listing()) found = found || ReadFile(file) == content;
      EXPECT_TRUE(found) << command << " " << name;
    }
    RemoveAllBut("");
  }
}

// Of 40 archives whose header area and table are noise, >= 38 give every
// member and >= 38 name the format; blank format-3 headers read as format 3.
TEST_F(Recover, StreamsTellTheLayout) {
  int whole = 0, named = 0;
  for (int round = 0; round < 40; ++round) {
    const int format = 3 + round % 2;
    std::mt19937 random(100 + round);
    const std::size_t zeros = round % 4 >= 2 ? 1 + random() % 300 : 0;
    std::string t[3], noise(1 + random() % 3000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    for (int k = 0; k < 3; ++k)
      for (t[k].assign(k < 2 ? zeros : 0, '\0'); t[k].size() < 500 + random() % 20000;)
        t[k] += "row " + std::to_string(random() % 900) + " of\n";
    const std::map<std::string, std::string> members = {
        {"empty", ""},    {"one", {static_cast<char>(random())}},
        {"t1", t[0]},     {"t2", t[1]},
        {"noise", noise}, {"t3", t[2]}};
    const auto archive = [&](const std::vector<Names>& runs) {
      for (const auto& [name, content] : members) WriteFile(name, content);
      for (const Names& args : runs) Qev(args);
      std::string bytes = ReadFile("a.qev");
      RemoveAllBut("");
      return bytes;
    };
    std::string bytes = archive({{"c" + std::to_string(format), "a.qev", "empty", "one", "t1"},
                                 {"a", "a.qev", "t2", "noise", "t3"}});
    const std::size_t table = Parse(bytes).tableOffset;
    for (std::size_t i = 0; i < bytes.size(); ++i)
      if (i < (format == 3 ? 13u : 16u) || i >= table) bytes[i] = static_cast<char>(random());
    WriteFile("a.qev", bytes);
    named += Qev({"r", "a.qev"}).find("layout: QEV" + std::to_string(format)) != std::string::npos;
    std::set<std::string> got;
    for (const std::string& file : Listing()) got.insert(ReadFile(file));
    whole += std::all_of(members.begin(), members.end(),
                         [&](const auto& member) { return got.contains(member.second); });
    RemoveAllBut("");
    // The members in another order, the creation of the archive stopped.
    Names args = {"z3", "a.qev", "empty", "one", "t1", "t2", "noise", "t3"};
    std::shuffle(args.begin() + 2 + (round % 3 == 0), args.end(), random);
    bytes = archive({args});
    bytes.resize(16 + random() % (Parse(bytes).tableOffset - 15));
    std::fill_n(bytes.begin(), 13, '\0');
    WriteFile("a.qev", bytes);
    const bool blank3 = bytes.find_first_not_of('\0') < 16;
    EXPECT_TRUE(!blank3 ||
                Qev({"r", "a.qev"}).find("QEV3 from a blank header") != std::string::npos);
    RemoveAllBut("");
  }
  // Zeros through byte 16: format 3's walk alone finds streams; else format 4,
  // though format 3's walk finds empty streams in the zeros.
  for (const char* name : {"e1", "e2", "t"})
    WriteFile(name, name[0] == 't' ? Members()[2].second : "");
  for (const auto& [args, layout] :
       {std::pair{Names{"c3", "a.qev", "e1", "e2", "t"}, "QEV3 from its streams"},
        {Names{"z4", "a.qev", "t"}, "QEV4 from a blank header"}}) {
    Qev(args);
    std::string bytes = ReadFile("a.qev");
    bytes.resize(args[0] == "c3" ? Parse(bytes).tableOffset : 24);
    std::fill_n(bytes.begin(), 16, '\0');
    WriteFile("a.qev", bytes);
    EXPECT_NE(Qev({"r", "a.qev"}).find(layout), std::string::npos) << layout;
  }
  std::printf("every member back in %d of 40, the format named in %d\n", whole, named);
  EXPECT_GE(whole, 38);
  EXPECT_GE(named, 38);
}

}  // namespace
}  // namespace qev::e2e
