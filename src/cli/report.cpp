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

std::string FormatBytes(std::uint64_t bytes) {
  char buffer[32];
  if (bytes < 1024) {
    platform::FormatToBuffer(buffer, sizeof buffer, "%u B", static_cast<unsigned>(bytes));
    return buffer;
  }
  // Tenths of the unit, rounded, in integers: the Windows formatter has no
  // floating point.
  static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  std::uint64_t scale = 1024;
  std::size_t unit = 0;
  std::uint64_t tenths = (bytes * 10 + scale / 2) / scale;
  while (tenths >= 10240 && unit + 1 < sizeof kUnits / sizeof kUnits[0]) {
    scale *= 1024;
    ++unit;
    tenths = (bytes * 10 + scale / 2) / scale;
  }
  platform::FormatToBuffer(buffer, sizeof buffer, "%u.%u %s", static_cast<unsigned>(tenths / 10),
                           static_cast<unsigned>(tenths % 10), kUnits[unit]);
  return buffer;
}

}  // namespace qev
