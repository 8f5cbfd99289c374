// Where a member's stored stream lies. No stored length exists: entry i's
// stream runs from its offset to entry i+1's offset, the last one's to the
// table offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qev {

struct MemberExtent {
  std::uint32_t start = 0;
  std::uint32_t length = 0;  // never runs past the end of the archive
};

// The extent from start to end, cut to what an archive of archiveSize
// bytes holds. An end before start (a damaged index) runs to the end of the
// archive; a start at or past the end gives length 0.
MemberExtent ClampExtent(std::uint32_t start, std::uint32_t end, std::uint32_t archiveSize);

// Entry i's extent by the rule above; works for both formats' entries.
template <class Entry>
MemberExtent FindMemberExtent(const std::vector<Entry>& entries, std::size_t i,
                              std::uint32_t tableOffset, std::uint32_t archiveSize) {
  const std::uint32_t end = i + 1 < entries.size() ? entries[i + 1].offset : tableOffset;
  return ClampExtent(entries[i].offset, end, archiveSize);
}

}  // namespace qev
