// An archive's index in memory: its entries in table order and their names
// in one pool, which each entry finds by offset and length.
#pragma once

#include <string_view>
#include <vector>

#include "name_pool.h"

namespace qev {

template <class Entry>
struct ArchiveIndex {
  std::vector<Entry> entries;
  NamePool names;

  std::string_view Name(const Entry& entry) const {
    return names.View(entry.nameOffset, entry.nameLength);
  }
};

}  // namespace qev
