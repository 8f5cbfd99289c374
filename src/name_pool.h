// Names kept back to back in one buffer. A name costs its bytes, a NUL and
// the few bytes of whatever finds it, instead of a string object or a
// fixed-size field apiece: an index or a list of a million names stays
// within a few bytes of the names themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace qev {

// Byte strings, each followed by a NUL, found by the 32-bit offset of their
// first byte. Names hold no NUL of their own.
class NamePool {
 public:
  NamePool() = default;
  // Takes bytes as the pool, as they are: whoever filled them keeps the
  // offsets and lengths of the names that lie in them.
  explicit NamePool(std::vector<std::uint8_t>&& bytes) : bytes_(std::move(bytes)) {}

  // Appends name and a NUL and returns where name starts. Offsets are 32-bit
  // numbers: a pool that would pass 4 GiB counts as memory exhausted.
  std::uint32_t Add(std::string_view name) {
    const std::size_t offset = bytes_.size();
    if (offset + name.size() + 1 > UINT32_MAX) throw std::bad_alloc();
    bytes_.resize(offset + name.size() + 1);  // the new bytes are zero: the NUL is there
    if (!name.empty()) std::memcpy(bytes_.data() + offset, name.data(), name.size());
    return static_cast<std::uint32_t>(offset);
  }

  std::string_view View(std::uint32_t offset, std::size_t length) const {
    return {CStr(offset), length};
  }
  // The name at offset as a C string: valid for offsets that Add returned.
  const char* CStr(std::uint32_t offset) const {
    return reinterpret_cast<const char*>(bytes_.data()) + offset;
  }

  std::size_t Size() const { return bytes_.size(); }
  void Reserve(std::size_t bytes) { bytes_.reserve(bytes); }
  // Empties the pool and releases its storage.
  void Release() { std::vector<std::uint8_t>().swap(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// An ordered list of names in one pool; duplicates are allowed and keep
// their place. A name takes its length, a NUL and a 4-byte offset.
class NameList {
 public:
  class const_iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = std::string_view;

    const_iterator() = default;
    const_iterator(const NameList* list, std::size_t i) : list_(list), i_(i) {}
    std::string_view operator*() const { return (*list_)[i_]; }
    const_iterator& operator++() {
      ++i_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator before = *this;
      ++i_;
      return before;
    }
    bool operator==(const const_iterator& other) const { return i_ == other.i_; }

   private:
    const NameList* list_ = nullptr;
    std::size_t i_ = 0;
  };
  using iterator = const_iterator;
  using value_type = std::string_view;

  NameList() = default;
  NameList(std::initializer_list<std::string_view> names) {
    for (const std::string_view name : names) push_back(name);
  }

  // Should the list fail to grow, the name stays in the pool unseen.
  void push_back(std::string_view name) { offsets_.push_back(pool_.Add(name)); }
  void reserve(std::size_t count) { offsets_.reserve(count); }
  void clear() {
    pool_.Release();
    std::vector<std::uint32_t>().swap(offsets_);
  }

  std::size_t size() const { return offsets_.size(); }
  bool empty() const { return offsets_.empty(); }
  // Names hold no NUL, so each ends at the NUL that follows it.
  std::string_view operator[](std::size_t i) const {
    const char* name = pool_.CStr(offsets_[i]);
    return {name, std::strlen(name)};
  }
  const char* CStr(std::size_t i) const { return pool_.CStr(offsets_[i]); }
  // Where name i lies in Pool(), so that a record can share its bytes.
  std::uint32_t Offset(std::size_t i) const { return offsets_[i]; }
  const NamePool& Pool() const { return pool_; }

  const_iterator begin() const { return {this, 0}; }
  const_iterator end() const { return {this, offsets_.size()}; }

  friend bool operator==(const NameList& a, const NameList& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }

 private:
  NamePool pool_;
  std::vector<std::uint32_t> offsets_;
};

}  // namespace qev
