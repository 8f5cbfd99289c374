#include "cli/report.h"

#include "platform/platform.h"

namespace qev {

std::string FormatThousands(std::uint32_t value) {
  const unsigned g = value / 1'000'000'000;
  const unsigned r = value % 1'000'000'000;
  const unsigned m = r / 1'000'000;
  const unsigned k = r % 1'000'000 / 1'000;
  const unsigned u = r % 1'000;
  char buffer[20];
  int length = 0;
  // The arguments are below 1000 (g below 5), so %d shows them exactly.
  if (g != 0) {
    length =
        platform::FormatToBuffer(buffer, sizeof buffer, "%01d,%03d,%03d,%03d", static_cast<int>(g),
                                 static_cast<int>(m), static_cast<int>(k), static_cast<int>(u));
  } else if (m != 0) {
    length = platform::FormatToBuffer(buffer, sizeof buffer, "%3d,%03d,%03d", static_cast<int>(m),
                                      static_cast<int>(k), static_cast<int>(u));
  } else if (k != 0) {
    length = platform::FormatToBuffer(buffer, sizeof buffer, "%3d,%03d", static_cast<int>(k),
                                      static_cast<int>(u));
  } else {
    length = platform::FormatToBuffer(buffer, sizeof buffer, "%3d", static_cast<int>(u));
  }
  return std::string(buffer, static_cast<std::size_t>(length));
}

}  // namespace qev
