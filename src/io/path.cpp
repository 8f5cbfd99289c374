#include "io/path.h"

namespace qev {
std::string BareName(const std::string& path) { return path; }
bool IsSafeMemberName(const std::string&) { return false; }
}  // namespace qev
