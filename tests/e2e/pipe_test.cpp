#include "harness.h"

namespace qev::e2e {
namespace {

constexpr std::uint64_t kTime = 132700000000000000;

class Pipe : public E2eTest {
 protected:
  // Every file here with its bytes, and whether stamped with kTime.
  static std::string Snapshot() {
    std::string all;
    for (const std::string& name : Listing())
      all += name + (ModTime(name) == kTime ? " stamped: " : ": ") + ReadFile(name) + "\n";
    return all;
  }
};

// l, t, x and r read from a slow pipe, a socket or a file as from the path.
TEST_F(Pipe, ReadsWhatTheFileGives) {
  const Names names = {"qev-part-1.tmp", "qev-part-3.tmp", "noise", "empty"};
  for (const auto& [name, content] : {std::pair{names[0], std::string("part")},
                                      {names[1], Text(400000, 27)},
                                      {names[2], Noise(30000, 27)},
                                      {names[3], ""}}) {
    WriteFile(name, content);
    SetModTime(name, kTime);
  }
  std::vector<std::string> archives;
  for (const char* command : {"c3", "c4", "z3", "z4"}) {
    Names args = {command, "a.qev"};
    args.insert(args.end(), names.begin(), names.end());
    Qev(args);
    archives.push_back(ReadFile("a.qev"));
    fs::remove("a.qev");
  }
  archives.push_back(archives[1].substr(0, 200000));
  archives.push_back("not an archive");
  const Member p = Stored("p", "hello"), gone = {"gone", "", 9, 0, 1, 5000};
  std::vector<Member> odd = {
      Stored("first", "abc", kTime), Stored("cut", "xyz"), p, Stored("q", "world"), p, gone};
  odd[1].stream.resize(4);
  for (const int format : {3, 4}) {
    odd[4].offset = (format == 3 ? 13 : 16) + 6 + 4;  // p's stream again
    archives.push_back(Archive(format, odd));
  }
  const Names commands[] = {{"l"}, {"t"}, {"x"}, {"x", "NOISE", "CUT"}, {"r"}};
  for (std::size_t i = 0; i < archives.size(); ++i) {
    WriteFile("a.qev", archives[i]);
    for (Names args : commands) {
      // The file by path, then a pipe, a file and (not under wine) a socket.
      const Input ways[] = {kPipe, kPipe, kFile, kSocket};
      std::string seen[4];
      for (int way = 0; way < (IsWindows() ? 3 : 4); ++way) {
        const std::string dir = "run" + std::to_string(way);
        fs::create_directory(dir);
        fs::current_path(dir);
        WriteFile("qev-part-0.tmp", "kept");
        args.insert(args.begin() + 1, way == 0 ? "../a.qev" : "-");
        std::string out = Qev(args, "", way == 0 ? "" : archives[i], ways[way]);
        args.erase(args.begin() + 1);
        std::string named;  // the lines with the archive's path given as -
        for (std::size_t from = 0, at = 0; at != out.npos; from = at + 8) {
          at = out.find("../a.qev", from);
          named.append(out, from, at == out.npos ? out.npos : at - from);
          if (at != out.npos) named += '-';
        }
        out.swap(named);
        seen[way] = out + Snapshot();
        fs::current_path("..");
        fs::remove_all(dir);
        EXPECT_EQ(seen[way], seen[0]) << "archive " << i << ", " << args[0] << way;
      }
    }
  }
  fs::rename("a.qev", "-");  // reached as ./-; - with nothing in is no archive
  EXPECT_EQ(Qev({"l", "./-"}),
            OpenLines("l", "./-", 4, 6) +
                Qev({"l", "-"}, "", archives.back()).substr(OpenLines("l", "-", 4, 6).size()));
  EXPECT_EQ(Qev({"x", "-"}), Echo("x", "-"));
}

}  // namespace
}  // namespace qev::e2e
