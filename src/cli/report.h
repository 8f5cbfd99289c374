// Number formatting for the console report.
#pragma once

#include <cstdint>
#include <string>

namespace qev {

// Groups value by thousands: the leading group right-aligned in three
// columns below one billion; at most 13 characters.
std::string FormatThousands(std::uint32_t value);

}  // namespace qev
