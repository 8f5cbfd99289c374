#include "ops/entries.h"

#include <cstdio>
#include <new>

#include "cli/name_list.h"
#include "cli/report.h"

namespace qev {
namespace {

// A forged count can ask for more entries than memory holds; such an index
// is turned away like any other that cannot be read, instead of ending the
// process.
template <class Index, class Header, class Reader>
bool ReadIndexOrRefuse(Reader reader, const std::string& path, Index& index, Header* header) {
  try {
    return reader(path, index, header);
  } catch (const std::bad_alloc&) {
    index = Index();
    return false;
  }
}

}  // namespace

bool ReadIndex(const std::string& path, Format3Index& index, Format3Header* header) {
  return ReadIndexOrRefuse(ReadFormat3Index, path, index, header);
}

bool ReadIndex(const std::string& path, Format4Index& index, Format4Header* header) {
  return ReadIndexOrRefuse(ReadFormat4Index, path, index, header);
}

bool IsSelected(std::string_view name, const NameList* filter) {
  if (filter == nullptr) return true;
  for (const std::string_view wanted : *filter) {
    if (NameMatches(name, wanted)) return true;
  }
  return false;
}

void PrintOpenLines(ArchiveFormat format, const std::string& path, std::size_t count) {
  std::printf(format == ArchiveFormat::kFormat3 ? "open... %s is QEV3 file.\n"
                                                : "open... %s is QEV4 file.\n",
              path.c_str());
  // The count is a 32-bit field printed as a signed number.
  std::printf("file count: %d\n", static_cast<int>(static_cast<std::uint32_t>(count)));
}

void PrintTotalLine(std::uint32_t files, std::uint32_t bytes) {
  std::printf("total: %d files %s Bytes\n", static_cast<int>(files),
              FormatThousands(bytes).c_str());
}

}  // namespace qev
