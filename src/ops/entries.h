// What listing and extraction share: the index of either format, entry
// selection, and the lines both print around their member lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/format3.h"
#include "formats/format4.h"
#include "types.h"

namespace qev {

// The format readers under one name, so that an operation can be written
// once for both entry types. An allocation failure while the index is read
// counts as an index that cannot be read: false, the index empty.
bool ReadIndex(const std::string& path, Format3Index& index, Format3Header* header);
bool ReadIndex(const std::string& path, Format4Index& index, Format4Header* header);

// True when there is no filter or a filter name matches name.
bool IsSelected(std::string_view name, const NameList* filter);

// "open... <path> is QEV3 file." (or QEV4) and "file count: <count>".
void PrintOpenLines(ArchiveFormat format, const std::string& path, std::size_t count);

// "total: <files> files <bytes> Bytes".
void PrintTotalLine(std::uint32_t files, std::uint32_t bytes);

}  // namespace qev
