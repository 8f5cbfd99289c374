#include "io/output_file.h"

#include <cstdint>

#include "io/file_handle.h"
#include "platform/platform.h"

namespace qev {

bool WriteOutputFile(const std::string& name, const ByteBuffer& data, const FILETIME* time) {
  if (name.find('\0') != std::string::npos) return false;
  // Whatever stops the deletion (a read-only file, one in use, a directory)
  // also stops the creation below, so its result tells nothing more.
  platform::DeletePath(name.c_str());

  FileHandle file;
  if (!file.CreateNew(name)) return false;
  bool complete = data.size() <= UINT32_MAX;
  if (complete && !data.empty()) {
    const auto size = static_cast<std::uint32_t>(data.size());
    complete = file.Write(data.data(), size) == size;
  }
  // Stamped after the last byte, so the write time given is the one kept.
  // A file whose times could not be set still holds the right bytes.
  if (time != nullptr) file.SetAllTimes(time);
  complete = file.Close() && complete;
  if (!complete) {
    // The file is ours and not whole: take it away so that nobody mistakes
    // it for the member. It is closed first, as deletion needs.
    file.Close();
    platform::DeletePath(name.c_str());
  }
  return complete;
}

}  // namespace qev
