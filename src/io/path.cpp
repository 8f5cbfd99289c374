#include "io/path.h"

#include "platform/platform.h"

namespace qev {

std::string BareName(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (platform::IsPathSeparator(path[i - 1])) return path.substr(i);
  }
  return path;
}

bool IsSafeMemberName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  // '\' is refused on POSIX too: an archive made here may be extracted on
  // Windows, and one made there here.
  if (name.find_first_of(std::string("/\\\0", 3)) != std::string::npos) return false;
  return !platform::IsDeviceOrStreamName(name.c_str());
}

}  // namespace qev
