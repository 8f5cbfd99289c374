// Runs "l", "t", "x" and then "r" on arbitrary bytes as an archive, through the
// same command entry as the program, with a scratch work directory current
// and the archive beside it. Whatever the archive holds, the commands end
// normally, "t" writes nothing, the archive stays as it was, nothing
// appears beside the work directory, and the work directory holds nothing
// but plain files. The work directory is emptied for the next input.
// Then "d" of the first member's name and "a" of a file run on copies of
// the archive: either the copy is unchanged, or every reader accepts it and
// its listing is the old one with exactly the asked change, every untouched
// entry as it was but for its offset; no temporary file is left.
#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "check.h"
#include "cli/dispatcher.h"
#include "formats/archive.h"
#include "ops/select.h"
#include "io/path.h"

namespace {

namespace fs = std::filesystem;
using qev::fuzz::Check;

constexpr const char* kArchive = "archive";
constexpr const char* kWork = "work";

// root/archive and root/work, removed at exit.
class Scratch {
 public:
  Scratch()
      : root_(fs::temp_directory_path() /
              ("qev_command_fuzz_" + std::to_string(std::random_device{}()))) {
    fs::create_directories(root_ / kWork);
  }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  const fs::path& Root() const { return root_; }

 private:
  fs::path root_;
};

void WriteArchive(const fs::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  Check(out.good(), "archive not written");
}

bool HoldsExactly(const fs::path& path, const std::uint8_t* data, std::size_t size) {
  std::ifstream in(path, std::ios::binary);
  const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return content.size() == size &&
         content.compare(0, size, reinterpret_cast<const char*>(data), size) == 0;
}

void AddEntryNames(const std::uint8_t* data, std::size_t size, std::set<std::string>& names) {
  qev::MemorySource source(data, size);
  qev::ArchiveIndex index;
  const qev::ArchiveFormat* format = nullptr;
  if (qev::ReadArchiveIndex(source, &format, index) != qev::IndexStatus::kRead) return;
  for (const qev::Entry& entry : index.entries) names.insert(std::string(index.Name(entry)));
}

// An entry as a listing shows it; the offset is the one field a change
// may move.
struct Listed {
  std::string name;
  std::uint32_t size, checksum, reserved, timeLow, timeHigh;
  bool operator==(const Listed&) const = default;
};

bool ListIndex(const std::string& bytes, std::vector<Listed>& listing) {
  qev::MemorySource source(bytes.data(), bytes.size());
  qev::ArchiveIndex index;
  const qev::ArchiveFormat* format = nullptr;
  listing.clear();
  if (qev::ReadArchiveIndex(source, &format, index) != qev::IndexStatus::kRead) return false;
  for (const qev::Entry& e : index.entries) {
    listing.push_back({std::string(index.Name(e)), e.size, e.checksum, e.reserved,
                       e.writeTime.dwLowDateTime, e.writeTime.dwHighDateTime});
  }
  return true;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs "<command> ../modify <name>" on a copy of the archive and checks the
// copy against expect(old listing), which gives the listing the change
// asks for; `fresh` marks the entry a new stream fills (its fields but name
// and size are the file's), or none.
template <class Expect>
void CheckChange(const fs::path& root, const std::uint8_t* data, std::size_t size,
                 const char* command, const std::string& name, Expect expect) {
  const fs::path copy = root / "modify";
  WriteArchive(copy, data, size);
  const std::string before = ReadAll(copy);
  const std::string argument =
      std::string("..") + static_cast<char>(fs::path::preferred_separator) + "modify";
  const char* const argv[] = {"qev", command, argument.c_str(), name.c_str()};
  qev::RunCommand(4, argv);
  const std::string after = ReadAll(copy);
  std::size_t beside = 0;
  for (const fs::directory_entry& item : fs::directory_iterator(root)) {
    (void)item;
    ++beside;
  }
  Check(beside == 3, "a change left a file beside the archive");
  if (after != before) {
    std::vector<Listed> old, now;
    Check(ListIndex(before, old), "an archive no reader accepts was changed");
    Check(ListIndex(after, now), "a changed archive is not accepted by the readers");
    std::size_t fresh = SIZE_MAX;
    std::vector<Listed> wanted = expect(old, &fresh);
    Check(wanted.size() == now.size(), "a change gave another number of members");
    if (fresh < now.size()) {
      Check(now[fresh].name == wanted[fresh].name && now[fresh].size == wanted[fresh].size,
            "the added member is not the file");
      now[fresh] = wanted[fresh];
    }
    Check(now == wanted, "a change altered more than was asked");
  }
  fs::remove(copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Scratch scratch;
  const fs::path archive = scratch.Root() / kArchive;
  WriteArchive(archive, data, size);

  const std::string archiveArgument =
      std::string("..") + static_cast<char>(fs::path::preferred_separator) + kArchive;
  // The work directory is current only while the commands run: the engine
  // and the replay program name their files relative to their own.
  const fs::path previous = fs::current_path();
  fs::current_path(scratch.Root() / kWork);
  for (const char* command : {"l", "t", "x"}) {
    const char* const argv[] = {"qev", command, archiveArgument.c_str()};
    qev::RunCommand(3, argv);
    if (command[0] == 't') {
      Check(fs::is_empty(scratch.Root() / kWork), "testing the archive wrote a file");
    }
  }
  Check(fs::current_path() == scratch.Root() / kWork, "the current directory moved");
  fs::current_path(previous);
  std::size_t besideWork = 0;
  for (const fs::directory_entry& item : fs::directory_iterator(scratch.Root())) {
    const fs::path name = item.path().filename();
    Check(name == kArchive || name == kWork, "a file appeared beside the work directory");
    ++besideWork;
  }
  Check(besideWork == 2, "the archive or the work directory went away");
  Check(HoldsExactly(archive, data, size), "the archive changed");

  // Every file left is a member: nothing half-written stays behind.
  std::set<std::string> names;
  AddEntryNames(data, size, names);
#ifdef _WIN32
  // Windows drops the trailing dots and spaces of a name it makes a file of.
  for (std::string name : std::set<std::string>(names)) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    names.insert(name);
  }
#endif
  std::vector<fs::path> extracted;
  for (const fs::directory_entry& item : fs::directory_iterator(scratch.Root() / kWork)) {
    Check(item.symlink_status().type() == fs::file_type::regular, "extraction made no plain file");
    extracted.push_back(item.path());
#ifdef _WIN32
    // A path's narrow form is UTF-8 here, while member names are bytes of
    // the ANSI code page: a name beyond ASCII counts as a member when the
    // archive holds one (temporary files have ASCII names).
    const std::wstring wide = item.path().filename().wstring();
    if (std::any_of(wide.begin(), wide.end(), [](wchar_t c) { return c >= 0x80; })) {
      Check(std::any_of(names.begin(), names.end(),
                        [](const std::string& name) {
                          return std::any_of(name.begin(), name.end(), [](char c) {
                            return static_cast<unsigned char>(c) >= 0x80;
                          });
                        }),
            "a file that is no member appeared");
      continue;
    }
#endif
    Check(names.count(item.path().filename().string()) == 1, "a file that is no member appeared");
  }
  for (const fs::path& path : extracted) fs::remove(path);

  // r, on the same bytes: nothing beside the work directory, the archive
  // unchanged, and every file it leaves a plain one with a safe bare name,
  // no temporary file among them.
  fs::current_path(scratch.Root() / kWork);
  {
    const char* const argv[] = {"qev", "r", archiveArgument.c_str()};
    qev::RunCommand(3, argv);
  }
  fs::current_path(previous);
  for (const fs::directory_entry& item : fs::directory_iterator(scratch.Root())) {
    const fs::path name = item.path().filename();
    Check(name == kArchive || name == kWork, "recovery put a file beside the work directory");
  }
  Check(HoldsExactly(archive, data, size), "recovery changed the archive");
  extracted.clear();
  for (const fs::directory_entry& item : fs::directory_iterator(scratch.Root() / kWork)) {
    Check(item.symlink_status().type() == fs::file_type::regular, "recovery made no plain file");
    const std::string name = item.path().filename().string();
    Check(qev::IsSafeMemberName(name), "recovery wrote a file whose name is not safe");
    Check(name.rfind("qev-part-", 0) != 0, "recovery left a temporary file");
    extracted.push_back(item.path());
  }
  for (const fs::path& path : extracted) fs::remove(path);

  // d of the first member's name (a name no member has when none can be
  // read); a of a file, replacing the members of its name or appended.
  std::vector<Listed> listing;
  ListIndex(std::string(reinterpret_cast<const char*>(data), size), listing);
  const std::string victim = listing.empty() ? std::string("none") : listing[0].name;
  fs::current_path(scratch.Root() / kWork);
  if (!victim.empty()) {
    CheckChange(
        scratch.Root(), data, size, "d", victim, [&](std::vector<Listed> old, std::size_t*) {
          std::erase_if(old, [&](const Listed& e) { return qev::NameMatches(e.name, victim); });
          return old;
        });
  }
  { std::ofstream("added", std::ios::binary) << "added"; }
  CheckChange(scratch.Root(), data, size, "a", "added",
              [](std::vector<Listed> old, std::size_t* fresh) {
                const Listed file{"added", 5, 0, 0, 0, 0};
                std::vector<Listed> wanted;
                for (const Listed& e : old) {
                  if (!qev::NameMatches(e.name, "added")) {
                    wanted.push_back(e);
                  } else if (*fresh == SIZE_MAX) {
                    *fresh = wanted.size();
                    wanted.push_back(file);
                  }
                }
                if (*fresh == SIZE_MAX) {
                  *fresh = wanted.size();
                  wanted.push_back(file);
                }
                return wanted;
              });
  fs::remove("added");
  fs::current_path(previous);
  return 0;
}
