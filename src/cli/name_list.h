// Name lists: filters for listing and extraction, input lists for creation.
#pragma once

#include <string_view>

#include "name_pool.h"

namespace qev {

// Empties list and appends the count arguments unchanged, in order.
void CollectNames(const char* const* args, int count, NameList& list);

// Empties list and expands each argument, in order, as a file pattern: every
// matching entry that is not a directory is appended. A pattern with a
// directory part keeps it (sub/y.txt); creation stores only the bare name.
void ExpandWildcards(const char* const* args, int count, NameList& list);

}  // namespace qev
