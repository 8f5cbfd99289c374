// Member streams on their way into an archive that is being written, and
// the lines that report them. Small members' streams go out many at a
// time, and the lines that report those members wait with them, so that
// " ...OK" is said only of a member whose stream is in the archive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "io/file_handle.h"
#include "ops/report.h"
#include "types.h"

namespace qev {

class StreamBatch {
 public:
  // Streams go out once this many bytes wait.
  static constexpr std::size_t kFlushAt = 1024 * 1024;

  StreamBatch(FileHandle& archive, Report& report) : archive_(archive), report_(report) {}

  // Stream bytes not yet written; whoever stores a member appends to it.
  ByteBuffer& Pending() { return packed_; }
  // The bytes in the archive so far.
  std::uint64_t Written() const { return written_; }
  // Counts bytes written to the archive directly, past the batch.
  void AddWritten(std::uint64_t bytes) { written_ += bytes; }

  // Opens the line of the member being stored; the name must outlive the
  // batch's next Flush.
  void Begin(std::string_view name) { events_.push_back({name, 0, false}); }
  // The member begun last is stored: its stream ends at streamEnd in the
  // archive, and its line is to end in " ...OK".
  void Stored(std::uint64_t streamEnd) { events_.push_back({{}, streamEnd, true}); }

  // Writes the stream bytes that wait. When all went out, reports the
  // lines that waited with them and returns true. Otherwise reports what
  // writing each stream at once would have: the lines of the members whose
  // streams are whole in the archive, then the name of the first that is
  // not and a write error, and returns false.
  bool Flush();

 private:
  struct Event {
    std::string_view name;    // Begin
    std::uint64_t streamEnd;  // Stored
    bool stored;
  };

  FileHandle& archive_;
  Report& report_;
  ByteBuffer packed_;
  std::vector<Event> events_;
  std::uint64_t written_ = 0;
};

}  // namespace qev
