#include "cli/name_list.h"

#include <string>

#include "platform/platform.h"

namespace qev {
namespace {

// The length of the pattern up to and including its last directory
// separator.
std::size_t DirectoryPartLength(std::string_view pattern) {
  for (std::size_t i = pattern.size(); i > 0; --i) {
    if (platform::IsPathSeparator(pattern[i - 1])) return i;
  }
  return 0;
}

}  // namespace

void CollectNames(const char* const* args, int count, NameList& list) {
  list.clear();
  if (count <= 0) return;
  list.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) list.push_back(args[i]);
}

void ExpandWildcards(const char* const* args, int count, NameList& list) {
  NameList patterns;
  CollectNames(args, count, patterns);
  list.clear();
  std::string path;
  for (const std::string_view pattern : patterns) {
    // The directory part stays, so that creation opens the file the pattern
    // found and not one of the same name in the current directory.
    const std::size_t directoryLength = DirectoryPartLength(pattern);
    platform::FindEntries(std::string(pattern), [&](std::string_view name, bool isDirectory) {
      if (isDirectory) return;
      path.assign(pattern, 0, directoryLength).append(name);
      list.push_back(path);
    });
  }
}

}  // namespace qev
