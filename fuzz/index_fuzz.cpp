// Feeds arbitrary bytes to both index readers as an archive file and checks
// what every caller relies on: at most one format claims the file, a refusal
// leaves nothing behind, an accepted index holds count entries with
// terminated names, is in proportion to the file, and gives extents inside
// the archive.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "check.h"
#include "formats/extent.h"
#include "formats/format3.h"
#include "formats/format4.h"

namespace {

using qev::fuzz::Check;

const std::string& ScratchPath() {
  static const std::string path = (std::filesystem::temp_directory_path() /
                                   ("qev_index_fuzz_" + std::to_string(std::random_device{}())))
                                      .string();
  return path;
}

template <class Entry>
void CheckIndex(const qev::ArchiveIndex<Entry>& index, std::uint32_t count,
                std::uint32_t tableOffset, std::size_t fileSize) {
  const std::vector<Entry>& entries = index.entries;
  Check(entries.size() == count, "entry count differs from the header");
  Check(entries.size() * sizeof(Entry) <= (std::size_t{64} << 20) + 300 * fileSize,
        "index out of proportion to the file");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string_view name = index.Name(entries[i]);
    Check(entries[i].nameLength == 0 ||
              std::size_t{entries[i].nameOffset} + name.size() <= index.names.Size(),
          "name outside the pool");
    Check(name.find('\0') == std::string_view::npos, "NUL inside a name");
    const qev::MemberExtent extent =
        qev::FindMemberExtent(entries, i, tableOffset, static_cast<std::uint32_t>(fileSize));
    Check(extent.length == 0 || std::uint64_t{extent.start} + extent.length <= fileSize,
          "extent beyond the archive");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(ScratchPath(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }

  qev::Format3Index entries3;
  entries3.entries.resize(1);
  qev::Format3Header header3{1, 2, 3};
  const bool is3 = qev::ReadFormat3Index(ScratchPath(), entries3, &header3);
  if (is3) {
    Check(header3.magic == qev::kFormat3Magic, "format-3 magic not stored");
    CheckIndex(entries3, header3.count, header3.tableOffset, size);
  } else {
    Check(entries3.entries.empty() && header3.magic == 1 && header3.count == 2 &&
              header3.tableOffset == 3,
          "format-3 refusal left something behind");
  }

  qev::Format4Index entries4;
  entries4.entries.resize(1);
  qev::Format4Header header4{1, 2, 3, 4};
  const bool is4 = qev::ReadFormat4Index(ScratchPath(), entries4, &header4);
  if (is4) {
    Check(header4.magic == qev::kFormat4Magic, "format-4 magic not stored");
    CheckIndex(entries4, header4.count, header4.tableOffset, size);
  } else {
    Check(entries4.entries.empty() && header4.magic == 1 && header4.count == 2 &&
              header4.tableOffset == 3 && header4.tableSize == 4,
          "format-4 refusal left something behind");
  }

  Check(!(is3 && is4), "both formats claim one file");
  std::filesystem::remove(ScratchPath());
  return 0;
}
