// Writing one extracted member to disk, in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "io/file_handle.h"
#include "types.h"

namespace qev {

// A member's file while it is written: a new file of its own beside the
// name it is to take ("qev-part-N.tmp"), which takes that name only once it
// is whole, so that a write that fails (a full disk) leaves an older file
// of that name as it was. Whatever is not committed is removed when the
// OutputFile goes out of scope.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the new file for a member to be called name. False when no
  // file can be created, or name could not be given to one.
  bool Open(const std::string& name);
  // Appends size bytes. Once a write has failed, or the file would reach
  // 4 GiB, nothing more is written and Commit fails.
  void Write(const std::uint8_t* data, std::size_t size);
  // Stamps the file with *time when time is not null, closes it and gives
  // it its name, replacing a file of that name that may be deleted (see
  // platform::DeletePath). True only when every byte was written and the
  // file closed and named; otherwise nothing is left of the new file and an
  // older file of that name is unchanged. A failed time stamp alone is not
  // a failure.
  bool Commit(const FILETIME* time);

 private:
  void Remove();

  FileHandle file_;
  std::string name_;
  std::string part_;  // empty when there is no new file to remove
  std::uint64_t written_ = 0;
  bool failed_ = false;
};

}  // namespace qev
