#include "cli/name_list.h"

#include "platform/platform.h"

namespace qev {
namespace {

// The pattern up to and including its last directory separator.
std::string DirectoryPart(const std::string& pattern) {
  for (std::size_t i = pattern.size(); i > 0; --i) {
    if (platform::IsPathSeparator(pattern[i - 1])) return pattern.substr(0, i);
  }
  return std::string();
}

}  // namespace

void CollectNames(const char* const* args, int count, NameList& list) {
  list.clear();
  if (count <= 0) return;
  list.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) list.emplace_back(args[i]);
}

void ExpandWildcards(const char* const* args, int count, NameList& list) {
  NameList patterns;
  CollectNames(args, count, patterns);
  list.clear();
  for (const std::string& pattern : patterns) {
    // The directory part stays, so that creation opens the file the pattern
    // found and not one of the same name in the current directory.
    const std::string directory = DirectoryPart(pattern);
    for (const platform::FoundEntry& entry : platform::FindEntries(pattern)) {
      if (!entry.isDirectory) list.push_back(directory + entry.name);
    }
  }
}

bool NameMatches(const std::string& a, const std::string& b) {
  return platform::EqualIgnoringCase(a.c_str(), b.c_str());
}

}  // namespace qev
