// Types shared by every subsystem of qev.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qev {

// A growable contiguous array of bytes. resize() zero-fills new bytes.
using ByteBuffer = std::vector<std::uint8_t>;

// A time stamp: 100-nanosecond intervals since 1601-01-01 UTC, split into
// two unsigned 32-bit halves, low half first (the in-memory layout that the
// archive formats' time fields come from).
struct FILETIME {
  std::uint32_t dwLowDateTime = 0;
  std::uint32_t dwHighDateTime = 0;
};

// Calendar fields of a time stamp, as the listing prints them.
struct CalendarTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t dayOfWeek = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

}  // namespace qev
