#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <tuple>

#include "harness.h"

namespace qev::e2e {
namespace {

constexpr std::uint64_t kTime = 132600000009876543;

std::string OldContent(const std::string& name) { return "old " + std::string(300, name[0]); }
std::string NewContent(const std::string& name) { return "new " + name + std::string(200, 'n'); }

class Modify : public E2eTest {
 protected:
  // The archive read back, offsets (which a and d move) left out.
  static Parsed Read(const std::string& path) {
    Parsed p = Parse(ReadFile(path));
    EXPECT_EQ(p.members.empty() ? p.tableOffset : p.members[0].offset, p.format == 3 ? 13u : 16u);
    EXPECT_EQ(p.tableLength, p.headerLength);
    for (Member& m : p.members) m.offset = kAuto;
    return p;
  }
};

// a and d change only what is asked: other members keep every field.
TEST_F(Modify, ChangesOnlyWhatIsAskedAndCopiesTheRest) {
  struct Case {
    std::vector<std::string> before;
    Names args;                      // the command and its names
    std::vector<std::string> after;  // "+n": file n, stored anew
    std::string lines;
  };
  // clang-format off
  const Case cases[] = {
      {{}, {"a", "n"}, {"+n"}, "n ...OK\n"},
      {{"a", "b", "c"}, {"a", "n", "m"}, {"a", "b", "c", "+n", "+m"}, "n ...OK\nm ...OK\n"},
      {{"a", "b", "c"}, {"a", "B"}, {"a", "+B", "c"}, "B ...OK\n"},
      {{"a", "b"}, {"a", "B", "n", "b"}, {"a", "+b", "+n"}, "b ...OK\nn ...OK\n"},
      {{"a", "b", "c"}, {"a", "c", "n", "a"}, {"+a", "b", "+c", "+n"},
       "a ...OK\nc ...OK\nn ...OK\n"},
      {{"a", "b", "a", "c", "A"}, {"a", "a"}, {"+a", "b", "c"}, "a ...OK\n"},
      {{"a", "b"}, {"a", "none*"}, {"a", "b"}, ""},
      {{"a", "b", "c"}, {"D", "C"}, {"a", "b"}, "c ...deleted\n"},
      {{"a"}, {"d", "a"}, {}, "a ...deleted\n"},
      {{"a", "b", "a"}, {"d", "a", "B", "zz"}, {},
       "a ...deleted\nb ...deleted\na ...deleted\nzz ...not found\n"},
      {{"a", "b"}, {"d", "zz", "b*"}, {"a", "b"}, "zz ...not found\nb* ...not found\n"}};
  // clang-format on
  for (const Case& c : cases) {
    for (const int format : {3, 4}) {
      for (const bool z : {false, true}) {
        SCOPED_TRACE(::testing::PrintToString(c.args) + " format " + std::to_string(format) +
                     (z ? " z" : " c"));
        fs::create_directory("case");
        fs::current_path("case");
        std::vector<Member> members;
        Names make = {"z" + std::to_string(format), "ar"};
        for (std::size_t i = 0; i < c.before.size(); ++i) {
          const std::string& name = c.before[i];
          members.push_back(Stored(name, OldContent(name), kTime + i));
          const std::string path = "old" + std::to_string(i) + "/" + name;
          fs::create_directory("old" + std::to_string(i));
          WriteFile(path, OldContent(name));
          SetModTime(path, kTime + i);
          make.push_back(path);
        }
        z && !c.before.empty() ? (void)Qev(make) : WriteFile("ar", Archive(format, members));
        for (std::size_t i = 0; i < c.before.size(); ++i) fs::remove_all("old" + std::to_string(i));
        const std::vector<Member> old = Read("ar").members;
        ASSERT_EQ(old.size(), c.before.size());
        for (std::size_t i = 1; i < c.args.size() && c.args[0] == "a"; ++i) {
          if (c.args[i].find('*') != std::string::npos) continue;
          WriteFile(c.args[i], NewContent(c.args[i]));
          SetModTime(c.args[i], kTime + 100 + i);
        }
        const std::string before = ReadFile("ar");
        Names args = c.args;
        args.insert(args.begin() + 1, "ar");
        EXPECT_EQ(Qev(args), Echo(args[0], "ar") + c.lines +
                                 "total: " + std::to_string(c.after.size()) + " files\n");
        EXPECT_TRUE(c.after != c.before || ReadFile("ar") == before);  // nothing changed

        const Parsed now = Read("ar");
        EXPECT_EQ(now.format, format);
        ASSERT_EQ(now.members.size(), c.after.size());
        std::map<std::string, std::string> expected;  // what x writes: the later of a name
        for (std::size_t i = 0, kept = 0; i < now.members.size(); ++i) {
          const std::string& want = c.after[i];
          const Member& m = now.members[i];
          if (want[0] == '+') {
            const std::string name = want.substr(1);
            std::size_t arg = c.args.size() - 1;  // the last file of a name counts
            while (c.args[arg] != name) --arg;
            EXPECT_EQ(
                std::tuple(m.name, m.size, m.time),
                std::tuple(name, NewContent(name).size(), format == 3 ? kTime + 100 + arg : 0));
            expected[name] = NewContent(name);
            continue;
          }
          while (old[kept].name != want) ++kept;
          EXPECT_EQ(m, old[kept]) << want;
          expected[want] = OldContent(want);
          ++kept;
        }
        for (std::size_t i = 1; i < c.args.size(); ++i) fs::remove(c.args[i]);
        fs::rename("ar", "ar.check");
        EXPECT_EQ(Listing(), Names{"ar.check"});  // no temporary file is left
        EXPECT_EQ(Qev({"t", "ar.check"}).find("error"), std::string::npos);
        Qev({"x", "ar.check"});
        fs::remove("ar.check");
        Names files;
        for (const auto& [name, content] : expected) {
          files.push_back(name);
          EXPECT_EQ(ReadFile(name), content) << name;
        }
        EXPECT_EQ(Listing(), files);
        fs::current_path("..");
        fs::remove_all("case");
      }
    }
  }
}

// a creates; d needs an archive; links and permission bits are kept.
TEST_F(Modify, CreatesFollowsLinksKeepsPermissions) {
  WriteFile("n", NewContent("n"));
  SetModTime("n", kTime);
  EXPECT_EQ(Qev({"a", "new.qev", "n"}), Echo("a", "new.qev") + "n ...OK\ntotal: 1 files\n");
  const Parsed created = Read("new.qev");
  EXPECT_EQ(created.format, 3);
  ASSERT_EQ(created.members.size(), 1u);
  EXPECT_EQ(created.members[0].time, kTime);
  EXPECT_EQ(Qev({"d", "missing", "n"}), Echo("d", "missing") + "cannot open the archive\n");
  EXPECT_FALSE(fs::exists("missing"));
  if (IsWindows()) return;

  WriteFile("ar", Archive(4, {Stored("a", "a"), Stored("b", "b")}));
  const std::string before = ReadFile("ar");
  fs::permissions("ar", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_hard_link("ar", "hard");
  fs::create_symlink("ar", "link");
  EXPECT_EQ(Qev({"d", "link", "a"}), Echo("d", "link") + "a ...deleted\ntotal: 1 files\n");
  EXPECT_TRUE(fs::is_symlink("link"));
  EXPECT_EQ(ReadFile("hard"), before);
  EXPECT_EQ(Read("ar").members.size(), 1u);
  EXPECT_EQ(fs::status("ar").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Listing(), (Names{"ar", "hard", "link", "n", "new.qev"}));
}

// Read-only (for root too), failed and killed runs leave the archive as it was.
TEST_F(Modify, ReadOnlyFailedAndKilledRunsLeaveNothing) {
  WriteFile("n", NewContent("n"));
  WriteFile("ar", Archive(4, {Stored("a", "a"), Stored("b", "b")}));
  const std::string before = ReadFile("ar");
  const auto mode = [](int bits) { fs::permissions("ar", static_cast<fs::perms>(bits)); };
  const auto unchanged = [&](const std::string& out, const std::string& lines) {
    EXPECT_EQ(out.substr(out.find('\n') + 1), lines + ", archive left as it is\n");
    EXPECT_EQ(ReadFile("ar"), before);
    EXPECT_EQ(Listing(), (Names{"ar", "n"}));
  };
  mode(0440);
  unchanged(Qev({"a", "ar", "n"}), "read-only archive");
  unchanged(Qev({"d", "ar", "a"}, "", "", kPipe, true), "read-only archive");
  mode(0644);
  if (IsWindows()) return;
  if (geteuid() == 0) {  // root's archive, and the other user's own without write bits
    fs::permissions(".", fs::perms::all);
    const std::string as = "setpriv --reuid=65534 --regid=65534 --clear-groups " + Command();
    unchanged(RunShellCommand(as + " a ar n"), "read-only archive");
    if (chown("ar", 65534, 65534) == 0) mode(0444);
    unchanged(RunShellCommand(as + " d ar a"), "read-only archive");
    EXPECT_EQ(chown("ar", 0, 0), 0);
    mode(0644);
    fs::permissions(".", fs::perms::owner_all);
  }
  const int held = open("ar", O_RDONLY);  // by another reader: it cannot be replaced
  EXPECT_EQ(flock(held, LOCK_SH), 0);
  unchanged(Qev({"a", "ar", "n"}, "", "", kPipe, true), "n ...OK\ncannot replace the archive");
  close(held);
  WriteFile("big", Noise(24 << 20, 5));
  RunShellCommand("(exec " + Command() + " a ar big >/dev/null 2>&1) & p=$!; " +
                  "for i in $(seq 3000); do [ -s ar.qev-0.tmp ] && break; sleep 0.01; done; " +
                  "{ kill -9 $p; wait $p; } 2>/dev/null");
  EXPECT_EQ(ReadFile("ar"), before);
  EXPECT_EQ(Listing(), (Names{"ar", "ar.qev-0.tmp", "big", "n"}));
  EXPECT_EQ(Qev({"a", "ar", "n"}), Echo("a", "ar") + "n ...OK\ntotal: 3 files\n");
  EXPECT_EQ(Qev({"d", "ar", "a"}), Echo("d", "ar") + "a ...deleted\ntotal: 2 files\n");
  EXPECT_EQ(Listing(), (Names{"ar", "ar.qev-0.tmp", "big", "n"}));
}

}  // namespace
}  // namespace qev::e2e
