// POSIX implementation of the platform seam, part two: names. The
// directory search that patterns expand through, and the comparison of
// names without regard to case.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/platform.h"

namespace qev::platform {
namespace {

// '*' matches any run of bytes, '?' exactly one; everything else matches
// itself, case-sensitively. Greedy with one backtrack point, so the cost
// stays at pattern length times name length whatever the pattern holds.
bool WildcardMatch(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern != '\0' && (*pattern == '?' || *pattern == *name)) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

bool IsDotEntry(std::string_view name) { return name == "." || name == ".."; }

}  // namespace

void FindEntries(const std::string& pattern, const FoundEntry& found) {
  const std::size_t slash = pattern.rfind('/');
  const std::string dirPath = slash == std::string::npos ? "."
                              : slash == 0               ? "/"
                                                         : pattern.substr(0, slash);
  const std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (last.empty() || last.find('\0') != std::string::npos) return;

  const std::unique_ptr<DIR, DirCloser> dir(opendir(dirPath.c_str()));
  if (!dir) return;
  const int dirFd = dirfd(dir.get());
  // stat follows a symbolic link, so a link to a directory counts as one.
  const auto isDirectory = [&](const char* name) {
    struct stat st;
    return fstatat(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
  };

  // A component without wildcards can match only the entry of that very
  // name: ask for it directly instead of reading the whole directory.
  if (last.find_first_of("*?") == std::string::npos) {
    struct stat st;
    if (IsDotEntry(last) || fstatat(dirFd, last.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    found(last, isDirectory(last.c_str()));
    return;
  }

  // The matches wait in one pool, to be handed on in byte order.
  struct Match {
    std::uint32_t offset;
    bool isDirectory;
  };
  std::vector<char> names;  // each name followed by its NUL
  std::vector<Match> matches;
  while (const dirent* entry = readdir(dir.get())) {
    const char* name = entry->d_name;
    if (IsDotEntry(name) || !WildcardMatch(last.c_str(), name)) continue;
    // The directory entry tells a plain file or a directory by itself; a
    // link, or a file system that does not say, needs a stat.
    const bool directory =
        entry->d_type == DT_DIR || (entry->d_type != DT_REG && isDirectory(name));
    const auto offset = static_cast<std::uint32_t>(names.size());
    names.insert(names.end(), name, name + std::strlen(name) + 1);
    matches.push_back({offset, directory});
  }
  // strcmp compares bytes as unsigned char.
  std::sort(matches.begin(), matches.end(), [&](const Match& a, const Match& b) {
    return std::strcmp(&names[a.offset], &names[b.offset]) < 0;
  });
  for (const Match& match : matches) found(&names[match.offset], match.isDirectory);
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  const auto fold = [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
  };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace qev::platform
