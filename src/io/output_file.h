// Writing one extracted member to disk.
#pragma once

#include <string>

#include "types.h"

namespace qev {

// Deletes any file called name (ignoring the result), creates it anew,
// writes all of data, stamps it with *time when time is not null, and
// closes it. Returns true only when the file was created and every byte
// was written and the file closed; a file that could not be written
// completely is removed again. A failed time stamp alone is not a failure.
bool WriteOutputFile(const std::string& name, const ByteBuffer& data, const FILETIME* time);

}  // namespace qev
