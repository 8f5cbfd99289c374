#include "io/output_file.h"

#include <utility>

#include "platform/platform.h"

namespace qev {
namespace {

// Names tried in turn for the file that receives a member before it takes
// the member's name; one left by a run that was killed is not overwritten.
constexpr int kPartNames = 100;

}  // namespace

OutputFile::~OutputFile() { Remove(); }

bool OutputFile::Open(const std::string& name) {
  Remove();
  if (name.find('\0') != std::string::npos) return false;
  name_ = name;
  written_ = 0;
  failed_ = false;
  for (int i = 0; i < kPartNames; ++i) {
    std::string part = "qev-part-" + std::to_string(i) + ".tmp";
    if (part != name && file_.CreateTemporary(part)) {
      part_ = std::move(part);
      return true;
    }
  }
  return false;
}

void OutputFile::Write(const std::uint8_t* data, std::size_t size) {
  if (failed_ || size == 0) return;
  written_ += size;
  failed_ = written_ > UINT32_MAX ||
            file_.Write(data, static_cast<std::uint32_t>(size)) != static_cast<std::uint32_t>(size);
}

bool OutputFile::Commit(const FILETIME* time) {
  if (part_.empty()) return false;
  // Stamped after the last byte, so the write time given is the one kept.
  // A file whose times could not be set still holds the right bytes.
  if (time != nullptr) file_.SetAllTimes(time);
  const bool complete = file_.Close() && !failed_;
  // What stops a deletion of name (a read-only file, one in use, a
  // directory) stops the replacement too.
  if (complete && platform::ReplacePath(part_.c_str(), name_.c_str())) {
    part_.clear();
    return true;
  }
  Remove();
  return false;
}

void OutputFile::Remove() {
  if (part_.empty()) return;
  // Closed first, as deletion needs.
  file_.Close();
  platform::DeletePath(part_.c_str());
  part_.clear();
}

}  // namespace qev
