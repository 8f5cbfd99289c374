#include <map>
#include <random>

#include "harness.h"

namespace qev::e2e {
namespace {

// Every file and directory here with its bytes (long ones by length and hash).
using Tree = std::map<std::string, std::string>;
std::string Digest(const std::string& bytes) {
  const std::string hash = std::to_string(std::hash<std::string>()(bytes));
  return bytes.size() <= 40 ? bytes : std::to_string(bytes.size()) + " bytes, hash " + hash;
}

class Faults : public E2eTest {
 protected:
  static Tree Snapshot() {
    Tree tree;
    for (const auto& entry : fs::recursive_directory_iterator(".")) {
      const std::string name = entry.path().string().substr(2);  // without "./"
      tree[name] = entry.is_directory() ? "(directory)" : Digest(ReadFile(name));
    }
    return tree;
  }
};

// Failures are reported and lose nothing; only what is whole says " ...OK".
TEST_F(Faults, FailuresLoseNothingAndReportNothingAsWritten) {
  const std::string huge(1 << 20, 'h');  // its stream passes 32 KiB
  const std::vector<Member> members = {Stored("huge", huge), Stored("t", "t")};
  const std::string a3 = Archive(3, members), a4 = Archive(4, members);
  const std::string none = "total: 0 files   0 Bytes\n";
  // Members that fit, and a table of 200 long names that does not.
  Tree many;
  std::string manyLines;
  for (int i = 100; i < 300; ++i) {
    const std::string name = "many/" + std::to_string(i) + std::string(200, 'n');
    many[name] = "";
    manyLines += name + " ...OK\n";
  }
  // a and d: untouched streams past 32 KiB; a table past 32 KiB (random names).
  std::mt19937 random(7);
  const std::string noise = Noise(80000, 6);
  std::string name(200, 'a');
  const std::vector<Member> big = {Stored("small", "s"), Stored("noise", noise)};
  std::vector<Member> named, forged = big;
  for (int i = 0; i < 200; ++i) {
    for (char& c : name) c = static_cast<char>('a' + random() % 26);
    named.push_back(Stored(name, "x"));
  }
  forged[1].offset = 12;
  const auto ar = [&](const std::string& archive) {
    return Tree{{"ar", archive}, {"small", "new small"}, {"noise", noise + noise}, {"locked", "-"}};
  };
  const std::string b3 = Archive(3, big), b4 = Archive(4, big), d = Echo("d", "ar");
  const std::string a = Echo("a", "ar"), left = ", archive left as it is\n";
  const std::string damaged = "damaged archive (qev r recovers its members)" + left;
  struct Case {
    Names args;
    std::string limit;
    Tree files;            // laid down first
    std::string readOnly;  // made read-only then: a file, "." (the directory), "locked" unreadable
    std::string output;
    Tree added;  // what the run adds
  };
  const std::string x3 = OpenLines("x", "a.qev", 3, 2), x4 = OpenLines("x", "a.qev", 4, 2);
  const std::string c3 = Echo("c3", "m.qev"), c4 = Echo("c4", "m.qev");
  // clang-format off
  const Case cases[] = {
      {{"x", "a.qev"}, "-f 64", {{"a.qev", a3}, {"huge", "older"}}, "",
       x3 + "huge ...write error\nt ...OK\ntotal: 1 files   1 Bytes\n", {{"t", "t"}}},
      {{"x", "a.qev"}, "", {{"a.qev", a4}, {"t", "read-only"}}, "t",
       x4 + "huge ...OK\nt ...write error\ntotal: 1 files   1,048,576 Bytes\n", {{"huge", Digest(huge)}}},
      {{"x", "a.qev", "t"}, "", {{"a.qev", a4}, {"t/inner", "kept"}}, "", x4 + "t ...write error\n" + none, {}},
      {{"x", "a.qev"}, "", {{"a.qev", a3}, {"t", "older"}}, ".",
       x3 + "huge ...write error\nt ...write error\n" + none, {}},
      {{"c3", "m.qev", "a.txt", "huge"}, "-f 64", {{"a.txt", "a"}, {"huge", huge}}, "",
       c3 + "a.txt ...OK\nhuge ...write error\n", {}},
      {{"c4", "m.qev", "many/*"}, "-f 64", many, "", c4 + manyLines + "write error\n", {}},
      {{"c3", "m.qev", "a.txt"}, "", {{"a.txt", "a"}, {"m.qev", "read-only"}}, "m.qev", c3, {}},
      {{"c4", "m.qev", "a.txt"}, "", {{"a.txt", "a"}, {"m.qev/inner", "kept"}}, "", c4, {}},
      {{"c4", "m.qev", "a.txt"}, "", {{"a.txt", "a"}}, ".", c4, {}},
      {{"c3", "m.qev", "a.txt"}, "-f 0", {{"a.txt", "a"}}, "", c3 + "write error\n", {}},
      {{"a", "ar", "locked"}, "", ar(b3), "locked", a + "locked ...cannot open\n", {}},
      {{"d", "ar", "small"}, "-f 64", ar(b4), "", d + "write error" + left, {}},
      {{"a", "ar", "small"}, "-f 64", ar(b3), "", a + "small ...OK\nwrite error" + left, {}},
      {{"d", "ar", named[0].name}, "-f 64", ar(Archive(4, named)), "", d + "write error" + left, {}},
      {{"d", "ar", named[5].name}, "-f 64", ar(Archive(3, named)), "", d + "write error" + left, {}},
      {{"a", "ar", "noise"}, "-f 64", ar(b4), "", a + "noise ...write error\n", {}},
      {{"a", "ar", "small"}, "", ar(b3), ".", a + "write error" + left, {}},
      {{"d", "ar", "small"}, "", ar(Archive(4, forged)), "", d + damaged, {}},
      {{"a", "ar", "small"}, "", ar(b3.substr(0, b3.size() - 20)), "", a + damaged, {}},
      {{"d", "ar", "small"}, "", ar("not an archive"), "", d + "not an archive" + left, {}}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.limit + " " + c.readOnly + " " + c.files.rbegin()->first);
    // Windows has no read-only directories nor unreadable files; wine writes.
    if ((c.readOnly == "." || c.readOnly == "locked" || c.limit == "-f 0") && IsWindows()) continue;
    fs::create_directory("case");
    fs::current_path("case");
    for (const auto& [name, bytes] : c.files) {
      fs::create_directories((fs::path(".") / name).parent_path());
      WriteFile(name, bytes);
    }
    if (!c.readOnly.empty())
      fs::permissions(c.readOnly, c.readOnly == "locked"
                                      ? fs::perms::none
                                      : fs::perms::owner_read | fs::perms::owner_exec);
    Tree expected = Snapshot();
    EXPECT_EQ(Qev(c.args, c.limit), c.output);
    expected.insert(c.added.begin(), c.added.end());
    EXPECT_EQ(Snapshot(), expected);
    fs::permissions(".", fs::perms::owner_all);
    fs::current_path("..");
    fs::remove_all("case");
  }
}

}  // namespace
}  // namespace qev::e2e
