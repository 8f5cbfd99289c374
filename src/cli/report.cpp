#include "cli/report.h"

namespace qev {
std::string FormatThousands(std::uint32_t value) { return std::to_string(value); }
}  // namespace qev
