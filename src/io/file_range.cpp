#include "io/file_range.h"

#include <algorithm>

namespace qev {

std::uint32_t FileRange::Read(std::uint8_t* dest, std::uint32_t capacity) {
  const std::uint32_t want = std::min(capacity, left_);
  const std::uint32_t got = want == 0 ? 0 : file_.ReadAt(next_, want, dest);
  next_ += got;
  left_ = got == capacity ? left_ - got : 0;
  return got;
}

}  // namespace qev
