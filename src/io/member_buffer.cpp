#include "io/member_buffer.h"

#include <new>

#include "platform/platform.h"

namespace qev {
namespace {

// Below this the page faults of a fresh buffer cost little next to the
// work on it, and large pages would only waste memory.
constexpr std::size_t kLargeBuffer = 4 * 1024 * 1024;

}  // namespace

void ReserveForMember(ByteBuffer& buffer, std::size_t size) {
  if (size <= buffer.capacity()) return;
  // A member is filled whole right after this, so its storage is touched
  // page by page at once: with 4 KiB pages, the page faults of a fresh
  // buffer of hundreds of megabytes take longer than filling it.
  ByteBuffer().swap(buffer);
  if (size > buffer.max_size()) throw std::bad_alloc();
  buffer.reserve(size);
  if (size >= kLargeBuffer) platform::AdviseLargePages(buffer.data(), buffer.capacity());
}

}  // namespace qev
