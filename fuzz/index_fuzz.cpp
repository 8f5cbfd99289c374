// Feeds arbitrary bytes, in memory, to the archive layer's index reading and
// checks what every caller relies on: a refusal leaves nothing behind, an
// accepted index holds as many entries as the header counts, with names
// inside the pool and free of NULs, is in proportion to the file, and gives
// extents inside the archive.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "check.h"
#include "formats/archive.h"

using qev::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qev::MemorySource source(data, size);
  qev::ArchiveIndex index;
  index.entries.resize(1);
  const qev::ArchiveFormat* format = nullptr;
  const qev::IndexStatus status = qev::ReadArchiveIndex(source, &format, index);
  const qev::ArchiveFormat* recognised = qev::RecogniseArchive(data, size);
  Check((status == qev::IndexStatus::kNotArchive) == (recognised == nullptr),
        "recognising and reading disagree on the magic");
  if (status != qev::IndexStatus::kRead) {
    Check(index.entries.empty() && index.names.Size() == 0, "a refusal left something behind");
    return 0;
  }
  Check(format == recognised, "the index was read in another format than recognised");
  Check(index.archiveSize == size, "the archive's size is not the source's");
  const std::vector<qev::Entry>& entries = index.entries;
  Check(entries.size() * sizeof(qev::Entry) <= (std::size_t{64} << 20) + 400 * size,
        "index out of proportion to the file");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string_view name = index.Name(entries[i]);
    Check(entries[i].nameLength == 0 ||
              std::size_t{entries[i].nameOffset} + name.size() <= index.names.Size(),
          "name outside the pool");
    Check(name.find('\0') == std::string_view::npos, "NUL inside a name");
    const qev::MemberExtent extent = qev::FindMemberExtent(index, i);
    Check(extent.length == 0 || std::uint64_t{extent.start} + extent.length <= size,
          "extent beyond the archive");
  }
  return 0;
}
