// Where an archive's bytes are read from: an open file, or bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace qev {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to size bytes from offset into dest. Returns the count read;
  // fewer at the end of the source, 0 at or past it or when the read fails.
  virtual std::uint32_t ReadAt(std::uint32_t offset, std::uint32_t size, void* dest) = 0;
  // The low 32 bits of the source's size.
  virtual std::uint32_t Size() = 0;
};

// Bytes in memory, which the source does not own.
class MemorySource final : public ByteSource {
 public:
  MemorySource(const void* data, std::size_t size)
      : data_(static_cast<const std::uint8_t*>(data)), size_(size) {}
  std::uint32_t ReadAt(std::uint32_t offset, std::uint32_t size, void* dest) override {
    if (offset >= size_) return 0;
    const std::size_t count = size < size_ - offset ? size : size_ - offset;
    std::memcpy(dest, data_ + offset, count);
    return static_cast<std::uint32_t>(count);
  }
  std::uint32_t Size() override { return static_cast<std::uint32_t>(size_); }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace qev
