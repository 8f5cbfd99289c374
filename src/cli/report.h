// Number formatting for the console report.
#pragma once

#include <cstdint>
#include <string>

namespace qev {

// Groups value by thousands: the leading group right-aligned in three
// columns below one billion; at most 13 characters.
std::string FormatThousands(std::uint32_t value);

// A count of bytes as a person reads it: "512 B", then KiB, MiB and GiB
// with one decimal ("1.5 GiB").
std::string FormatBytes(std::uint64_t bytes);

}  // namespace qev
