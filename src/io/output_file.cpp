#include "io/output_file.h"

#include <cstdint>
#include <string>

#include "io/file_handle.h"
#include "platform/platform.h"

namespace qev {
namespace {

// Names tried in turn for the file that receives a member before it takes
// the member's name; one left by a run that was killed is not overwritten.
constexpr int kPartNames = 100;

}  // namespace

bool WriteOutputFile(const std::string& name, const ByteBuffer& data, const FILETIME* time) {
  if (name.find('\0') != std::string::npos) return false;
  // The member is written to a file of its own beside name and takes name's
  // place only once it is whole: a write that fails (a full disk) leaves an
  // older file of that name as it was, instead of deleting it first.
  FileHandle file;
  std::string part;
  for (int i = 0; i < kPartNames && !file.IsOpen(); ++i) {
    part = "qev-part-" + std::to_string(i) + ".tmp";
    if (part != name) file.CreateNew(part);
  }
  if (!file.IsOpen()) return false;
  bool complete = data.size() <= UINT32_MAX;
  if (complete && !data.empty()) {
    const auto size = static_cast<std::uint32_t>(data.size());
    complete = file.Write(data.data(), size) == size;
  }
  // Stamped after the last byte, so the write time given is the one kept.
  // A file whose times could not be set still holds the right bytes.
  if (time != nullptr) file.SetAllTimes(time);
  complete = file.Close() && complete;
  // What stops a deletion of name (a read-only file, one in use, a
  // directory) stops the replacement too.
  if (complete && platform::ReplacePath(part.c_str(), name.c_str())) return true;
  // Closed first, as deletion needs.
  file.Close();
  platform::DeletePath(part.c_str());
  return false;
}

}  // namespace qev
