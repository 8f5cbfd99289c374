// Reading a byte range of a file in pieces.
#pragma once

#include <cstdint>

#include "io/file_handle.h"

namespace qev {

// The bytes [start, start + length) of an open file, piece by piece.
class FileRange {
 public:
  FileRange(FileHandle& file, std::uint32_t start, std::uint32_t length)
      : file_(file), next_(start), left_(length) {}

  // Reads the next piece, at most capacity bytes, into dest and returns its
  // size. A piece shorter than capacity ends the range: its last bytes were
  // read, or the file ended or a read failed before them.
  std::uint32_t Read(std::uint8_t* dest, std::uint32_t capacity);
  // True once the range has ended.
  bool Ended() const { return left_ == 0; }

 private:
  FileHandle& file_;
  std::uint32_t next_;
  std::uint32_t left_;
};

}  // namespace qev
