#include <sys/stat.h>

#include <map>
#include <random>

#include "harness.h"
#include "support/lzss_reference.h"

namespace qev::e2e {
namespace {

constexpr std::uint64_t kTime = 132600000009876543;

// A member as the archive's bytes give it, read by the formats' rules.
struct Parsed {
  std::string name, stream;  // the stream: from its offset to the next one's
  std::uint32_t size = 0, checksum = 0, reserved = 0;
  std::uint64_t time = 0;
  bool operator==(const Parsed&) const = default;
};

struct BitReader {
  std::string bytes;
  std::size_t bit = 0;
  std::uint32_t Get(int n) {
    std::uint32_t value = 0;
    for (; n > 0; --n, ++bit) {
      const int byte = bit / 8 < bytes.size() ? static_cast<unsigned char>(bytes[bit / 8]) : 0;
      value = value << 1 | (byte >> (7 - bit % 8) & 1);
    }
    return value;
  }
  std::uint32_t Packed() { return Get(8 * Get(2) + 8); }
};

std::uint32_t Le32At(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes.at(at + i));
  return v;
}

// The members of a format-3 or format-4 archive, in table order.
std::vector<Parsed> Parse(const std::string& archive, int* format) {
  std::vector<Parsed> members;
  std::vector<std::uint32_t> offsets;
  std::uint32_t count = 0, tableOffset = 0;
  *format = archive.substr(0, 4) == "QEV3" ? 3 : archive.substr(0, 4) == "QEV4" ? 4 : 0;
  if (*format == 3) {
    BitReader header{archive.substr(4, 9)};
    count = header.Packed(), tableOffset = header.Packed();
    BitReader table{archive.substr(tableOffset)};
    for (std::uint32_t i = 0; i < count; ++i) {
      Parsed m;
      m.time = std::uint64_t{table.Packed()} << 32;
      m.time |= table.Packed();
      m.checksum = table.Packed();
      offsets.push_back(table.Packed());
      m.size = table.Packed();
      while (char c = static_cast<char>(table.Get(8))) m.name += c;
      members.push_back(m);
    }
  } else if (*format == 4) {
    count = Le32At(archive, 4), tableOffset = Le32At(archive, 8);
    std::vector<std::uint8_t> stream(archive.begin() + tableOffset, archive.end()), plain;
    LzssDecodeReference(stream, plain);
    const std::string table(plain.begin(), plain.end());
    EXPECT_EQ(table.size(), Le32At(archive, 12));
    for (std::size_t i = 0, at = 0; i < count; ++i) {
      Parsed m;
      m.name = table.c_str() + at;
      at += m.name.size() + 1;
      offsets.push_back(Le32At(table, at));
      m.size = Le32At(table, at + 4);
      m.reserved = Le32At(table, at + 8);
      at += 12;
      members.push_back(m);
    }
  }
  for (std::size_t i = 0; i < members.size(); ++i) {
    const std::uint32_t end = i + 1 < offsets.size() ? offsets[i + 1] : tableOffset;
    members[i].stream = archive.substr(offsets[i], end - offsets[i]);
  }
  EXPECT_EQ(offsets.empty() ? tableOffset : offsets[0], *format == 3 ? 13u : 16u);
  return members;
}

std::string OldContent(const std::string& name) { return "old " + std::string(300, name[0]); }
std::string NewContent(const std::string& name) { return "new " + name + std::string(200, 'n'); }

using Modify = E2eTest;

// a and d on archives of both formats, made by c (literal streams laid down
// here) and by z (qev's compressed streams): the members afterwards are the
// expected ones in the expected order; untouched ones keep their stored
// bytes and every entry field; new ones are stored as z stores them, with
// the file's time; t passes and x gives exactly the expected files.
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
      {{"a", "b", "c"}, {"d", "a"}, {"b", "c"}, "a ...deleted\n"},
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
        if (z && !c.before.empty()) {
          Qev(make);
        } else {
          WriteFile("ar", Archive(format, members));
        }
        for (std::size_t i = 0; i < c.before.size(); ++i) fs::remove_all("old" + std::to_string(i));
        int oldFormat = 0;
        const std::vector<Parsed> old = Parse(ReadFile("ar"), &oldFormat);
        ASSERT_EQ(old.size(), c.before.size());
        for (std::size_t i = 1; i < c.args.size(); ++i) {
          if (c.args[0] == "a" && c.args[i].find('*') == std::string::npos) {
            WriteFile(c.args[i], NewContent(c.args[i]));
            SetModTime(c.args[i], kTime + 100 + i);
          }
        }
        const std::string before = ReadFile("ar");
        Names args = c.args;
        args.insert(args.begin() + 1, "ar");
        EXPECT_EQ(Qev(args), Echo(args[0], "ar") + c.lines +
                                 "total: " + std::to_string(c.after.size()) + " files\n");
        if (c.after == c.before) {
          EXPECT_EQ(ReadFile("ar"), before);
        }

        int newFormat = 0;
        const std::vector<Parsed> now = Parse(ReadFile("ar"), &newFormat);
        EXPECT_EQ(newFormat, format);
        ASSERT_EQ(now.size(), c.after.size());
        std::map<std::string, std::string> expected;  // what x writes: the later of a name
        for (std::size_t i = 0, kept = 0; i < now.size(); ++i) {
          const std::string& want = c.after[i];
          if (want[0] == '+') {
            const std::string name = want.substr(1);
            std::size_t arg = c.args.size() - 1;  // the last file of a name counts
            while (c.args[arg] != name) --arg;
            EXPECT_EQ(now[i].name, name);
            EXPECT_EQ(now[i].size, NewContent(name).size());
            if (format == 3) {
              EXPECT_EQ(now[i].time, kTime + 100 + arg);
            }
            expected[name] = NewContent(name);
            continue;
          }
          while (old[kept].name != want) ++kept;
          EXPECT_EQ(now[i], old[kept]) << want;
          expected[want] = OldContent(want);
          ++kept;
        }
        for (std::size_t i = 1; i < c.args.size(); ++i) fs::remove(c.args[i]);
        fs::remove("ar.check");
        fs::rename("ar", "ar.check");
        EXPECT_EQ(Listing(), Names{"ar.check"});  // no temporary file is left
        const std::string t = Qev({"t", "ar.check"});
        EXPECT_EQ(t.find("error"), std::string::npos) << t;
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

// Where nothing stands at its path, a creates the archive as z3 does; d
// says it cannot open one. The archive is changed where a symbolic link
// points, the link stays, the permission bits are kept, and a hard link
// keeps the old content.
TEST_F(Modify, CreatesFollowsLinksKeepsPermissions) {
  WriteFile("n", NewContent("n"));
  SetModTime("n", kTime);
  EXPECT_EQ(Qev({"a", "new.qev", "n"}), Echo("a", "new.qev") + "n ...OK\ntotal: 1 files\n");
  int format = 0;
  const std::vector<Parsed> created = Parse(ReadFile("new.qev"), &format);
  EXPECT_EQ(format, 3);
  ASSERT_EQ(created.size(), 1u);
  EXPECT_EQ(created[0].time, kTime);
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
  EXPECT_EQ(Parse(ReadFile("ar"), &format).size(), 1u);
  EXPECT_EQ(fs::status("ar").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(Listing(), (Names{"ar", "hard", "link", "n", "new.qev"}));
}

// Whatever stops a or d, the archive stays byte for byte as it was, nothing
// else is left beside it, and a line says why.
TEST_F(Modify, FailuresLeaveTheArchiveAsItWas) {
  std::mt19937 random(7);
  std::string noise(80000, '\0'), name(200, 'a');
  for (char& c : noise) c = static_cast<char>(random());
  // Untouched streams past 32 KiB; a table past 32 KiB (random names).
  const std::vector<Member> big = {Stored("small", "s"), Stored("noise", noise)};
  std::vector<Member> named;
  for (int i = 0; i < 200; ++i) {
    for (char& c : name) c = static_cast<char>('a' + random() % 26);
    named.push_back(Stored(name, "x"));
  }
  std::vector<Member> forged = big;
  forged[1].offset = 12;
  const std::string left = ", archive left as it is\n";
  struct Case {
    int format;
    std::vector<Member> members;
    std::string garbage;  // the archive's bytes instead, when not empty
    Names args;
    std::string limit, readOnly;
    std::string lines;
  };
  // clang-format off
  const Case cases[] = {
      {3, big, "", {"a", "locked"}, "", "locked", "locked ...cannot open\n"},
      {4, big, "", {"d", "small"}, "-f 64", "", "write error" + left},
      {3, big, "", {"a", "small"}, "-f 64", "", "small ...OK\nwrite error" + left},
      {4, named, "", {"d", named[0].name}, "-f 64", "", "write error" + left},
      {3, named, "", {"d", named[5].name}, "-f 64", "", "write error" + left},
      {4, big, "", {"a", "noise"}, "-f 64", "", "noise ...write error\n"},
      {4, big, "", {"d", "small"}, "", "ar", "read-only archive" + left},
      {3, big, "", {"a", "small"}, "", ".", "write error" + left},
      {4, forged, "", {"d", "small"}, "", "", "damaged archive (qev r recovers its members)" + left},
      {3, big, "cut", {"a", "small"}, "", "", "damaged archive (qev r recovers its members)" + left},
      {4, big, "not an archive", {"d", "small"}, "", "", "not an archive" + left}};
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.limit + " " + c.readOnly + " " + c.lines);
    // Windows knows no file that its owner cannot read, nor directory permissions.
    if ((c.readOnly == "." || c.readOnly == "locked") && IsWindows()) continue;
    fs::create_directory("case");
    fs::current_path("case");
    std::string archive = Archive(c.format, c.members);
    if (c.garbage == "cut") archive.resize(archive.size() - 20);
    if (!c.garbage.empty() && c.garbage != "cut") archive = c.garbage;
    WriteFile("ar", archive);
    WriteFile("small", "new small");
    WriteFile("noise", noise + noise);
    WriteFile("locked", "locked");
    if (!c.readOnly.empty())
      fs::permissions(c.readOnly, fs::perms::owner_read | fs::perms::owner_exec);
    if (c.readOnly == "locked") fs::permissions("locked", fs::perms::none);
    const Names listing = Listing();
    Names args = c.args;
    args.insert(args.begin() + 1, "ar");
    EXPECT_EQ(Qev(args, c.limit), Echo(args[0], "ar") + c.lines);
    EXPECT_EQ(ReadFile("ar"), archive);
    EXPECT_EQ(Listing(), listing);
    fs::permissions(".", fs::perms::owner_all);
    fs::current_path("..");
    fs::remove_all("case");
  }
}

// --help and --version as the only argument; with anything more they are
// unknown commands, which print the usage line.
TEST_F(Modify, HelpAndVersion) {
  const std::string help = Qev({"--help"});
  EXPECT_TRUE(help.starts_with("Usage: ")) << help;
  for (const char* word : {"\n  a ", "\n  d ", "\n  l ", "\n  z3, z4 "})
    EXPECT_NE(help.find(word), std::string::npos) << word;
  EXPECT_TRUE(Qev({"--version"}).starts_with("qev 1.")) << Qev({"--version"});
  const std::string usage = Qev({"--help", "ar", "x"});
  EXPECT_TRUE(usage.starts_with("Usage: ") && usage.find('\n') == usage.size() - 1);
}

}  // namespace
}  // namespace qev::e2e
