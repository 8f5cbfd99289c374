// Which members the names after the archive select.
#pragma once

#include <string_view>

#include "name_pool.h"

namespace qev {

// Case-insensitive whole-string comparison of two names, by the platform's
// locale-aware rule.
bool NameMatches(std::string_view a, std::string_view b);

// True when there is no filter or a filter name matches name.
bool IsSelected(std::string_view name, const NameList* filter);

}  // namespace qev
