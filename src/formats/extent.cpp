#include "formats/extent.h"

namespace qev {

MemberExtent ClampExtent(std::uint32_t start, std::uint32_t end, std::uint32_t archiveSize) {
  if (start >= archiveSize) return {start, 0};
  // A damaged index may put the next offset before this one; the stored
  // bytes then run to the end of the archive rather than wrapping to a
  // length near 4 GiB.
  if (end < start || end > archiveSize) end = archiveSize;
  return {start, end - start};
}

}  // namespace qev
